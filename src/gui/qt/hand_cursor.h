#pragma once

#include <QCursor>
#include <QString>
#include <optional>

namespace velloran {

// Reads a Windows cursor file (.CUR): the picture through Qt's ico reader and
// the hotspot from the file's first directory entry, which the ico reader
// does not report. Nothing when the file cannot be read.
std::optional<QCursor> loadCursorFile(const QString &path);

} // namespace velloran
