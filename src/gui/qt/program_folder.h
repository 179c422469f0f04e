#pragma once

#include <QString>

namespace velloran {

// The folder that holds the skin (x/o.cjs), the hand cursor (HAND-M.CUR) and
// "Samples". In the build tree (or any copy that keeps them together) they
// sit beside the executable; when installed they sit in dataDirFromBin, the
// data folder given relative to the executable's folder ("../share/velloran"
// for the usual prefix). With neither present, the executable's folder is
// returned, so that the window behaves as it would with the files missing.
QString programFolderFor(const QString &executableDir, const QString &dataDirFromBin);

// programFolderFor() for this executable and its installed layout.
QString programFolder();

} // namespace velloran
