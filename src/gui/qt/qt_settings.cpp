#include "gui/qt/qt_settings.h"

namespace velloran {

QtSettingsStore::QtSettingsStore() {
    m_settings = openUserSettings(m_prefix);
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
