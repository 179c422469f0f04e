#include "gui/qt/program_folder.h"

#include "core/main_window_logic.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#ifndef VELLORAN_DATA_DIR_FROM_BIN
#error "VELLORAN_DATA_DIR_FROM_BIN must name the data folder relative to the executable's"
#endif

namespace velloran {

namespace {

// True when the folder holds any of the files the window looks for.
bool holdsProgramData(const QDir &dir) {
    return QFileInfo::exists(dir.filePath(QString::fromUtf8(kSkinFile))) ||
           QFileInfo::exists(dir.filePath(QString::fromUtf8(kHandCursorFile))) ||
           QFileInfo(dir.filePath(QString::fromUtf8(kSamplesFolder))).isDir();
}

} // namespace

QString programFolderFor(const QString &executableDir, const QString &dataDirFromBin) {
    const QDir beside(executableDir);
    if (holdsProgramData(beside))
        return executableDir;
    const QDir installed(beside.filePath(dataDirFromBin));
    if (holdsProgramData(installed))
        return QDir::cleanPath(installed.absolutePath());
    return executableDir;
}

QString programFolder() {
    return programFolderFor(QCoreApplication::applicationDirPath(),
                            QStringLiteral(VELLORAN_DATA_DIR_FROM_BIN));
}

} // namespace velloran
