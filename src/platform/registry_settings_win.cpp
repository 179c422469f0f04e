#include "platform/registry_settings_win.h"

#include <windows.h>

#include <stdexcept>

#include "platform/com_automation_win.h"
#include "platform/wide_string_win.h"

namespace velloran {

namespace {

constexpr const wchar_t *kSettingsKey = L"Software\\VB and VBA Program Settings\\Corvane\\Velloran";

class RegistrySettings final : public SettingsStore {
public:
    std::optional<std::string> get(const std::string &key) override {
        const std::wstring name = toWide(key);
        DWORD bytes = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name.c_str(), RRF_RT_REG_SZ, nullptr,
                         nullptr, &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring value(bytes / sizeof(wchar_t), L'\0');
        if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name.c_str(), RRF_RT_REG_SZ, nullptr,
                         value.data(), &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        value.resize(bytes / sizeof(wchar_t));
        while (!value.empty() && value.back() == L'\0')
            value.pop_back();
        return toUtf8(value);
    }

    void save(const std::string &key, const std::string &value) override {
        const std::wstring wide = toWide(value);
        const LSTATUS status =
            RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, toWide(key).c_str(), REG_SZ,
                            wide.c_str(), static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
        if (status != ERROR_SUCCESS)
            throw std::runtime_error("The setting " + key + " cannot be stored: " +
                                     describeHresult(HRESULT_FROM_WIN32(status)));
    }
};

} // namespace

std::unique_ptr<SettingsStore> makeRegistrySettings() {
    return std::make_unique<RegistrySettings>();
}

} // namespace velloran
