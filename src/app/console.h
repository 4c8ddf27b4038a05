// Lines for whoever started the program from a console or a scheduler, on standard output or
// standard error, in the local 8-bit encoding.
#pragma once

#include <QString>
#include <cstdio>

namespace zavelo {

// Writes text, with a line end unless it has one, and flushes, so that the line is there even
// if the program ends right after.
void printLine(std::FILE* to, const QString& text);

}  // namespace zavelo
