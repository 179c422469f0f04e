#include "app/qt_settings.h"

namespace velloran {

QtSettingsStore::QtSettingsStore() {
#ifdef Q_OS_WIN
    m_settings = std::make_unique<QSettings>(
        QStringLiteral(
            "HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Corvane\\Velloran"),
        QSettings::NativeFormat);
#else
    m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Corvane"), QStringLiteral("Velloran"));
    m_prefix = QStringLiteral("Velloran/");
#endif
}

QtSettingsStore::QtSettingsStore(const QString &iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)),
      m_prefix(QStringLiteral("Velloran/")) {}

std::optional<std::string> QtSettingsStore::get(const std::string &key) {
    const QString k = m_prefix + QString::fromStdString(key);
    if (!m_settings->contains(k))
        return std::nullopt;
    return m_settings->value(k).toString().toStdString();
}

void QtSettingsStore::save(const std::string &key, const std::string &value) {
    m_settings->setValue(m_prefix + QString::fromStdString(key), QString::fromStdString(value));
    m_settings->sync();
}

} // namespace velloran
