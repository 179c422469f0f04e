#include "gui/qt/qt_settings.h"

namespace velloran {

// The registry key where earlier versions kept their settings, so that a
// stored folder carries over.
std::unique_ptr<QSettings> QtSettingsStore::openUserSettings(QString &prefix) {
    prefix.clear();
    return std::make_unique<QSettings>(
        QStringLiteral(
            "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Corvane\\Velloran"),
        QSettings::NativeFormat);
}

} // namespace velloran
