#include "gui/qt/qt_settings.h"

namespace velloran {

// Qt's per-user file for Corvane/Velloran, with the section as a group.
std::unique_ptr<QSettings> QtSettingsStore::openUserSettings(QString &prefix) {
    prefix = QStringLiteral("Velloran/");
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Corvane"), QStringLiteral("Velloran"));
}

} // namespace velloran
