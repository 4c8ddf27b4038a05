// Lines for whoever started the program from a console or a scheduler, on standard output or
// standard error: on a Windows console in Unicode (whatever its code page), elsewhere (a file,
// a pipe, any Linux terminal) as UTF-8.
#pragma once

#include <QString>
#include <cstdio>

namespace zavelo {

// Writes text, with a line end unless it has one, and flushes, so that the line is there even
// if the program ends right after.
void printLine(std::FILE* to, const QString& text);

// A text of several lines as one line: trimmed, each line end written " / ".
QString oneLine(QString text);

}  // namespace zavelo
