#pragma once

#include <QSettings>
#include <memory>

#include "core/ports.h"

namespace velloran {

// The per-user settings of application "Corvane", section "Velloran".
// Windows: the registry key where earlier versions kept them, so a stored
// folder carries over. Elsewhere: Qt's per-user file for Corvane/Velloran.
class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore();
    // A store over an explicit settings file, for tests.
    explicit QtSettingsStore(const QString &iniFile);

    std::optional<std::string> get(const std::string &key) override;
    void save(const std::string &key, const std::string &value) override;

private:
    // The per-user store of this platform, and the prefix of its keys.
    static std::unique_ptr<QSettings> openUserSettings(QString &prefix);

    std::unique_ptr<QSettings> m_settings;
    QString m_prefix;
};

} // namespace velloran
