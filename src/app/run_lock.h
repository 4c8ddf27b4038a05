// The lock that keeps two unattended starts from writing one output folder at once.
#pragma once

#include <QByteArray>
#include <QString>

namespace zavelo {

// The lock file for an output folder. It lives in the temporary folder, named after the output
// folder, so that the report folder holds nothing but reports.
QString runLockPath(const QByteArray& outputFolder);

}  // namespace zavelo
