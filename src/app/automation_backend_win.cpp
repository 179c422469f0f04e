#include "app/automation_backend_win.h"
#include "app/automation_backend.h"

#include <windows.h>

#include "core/time_limit.h"
#include "engines/powerpoint/own_page_registry.h"
#include "platform/com_automation_win.h"
#include "platform/wide_string_win.h"

#include <set>
#include <string>

namespace velloran {

namespace {

// How long PowerPoint may stay busy and reject our calls.
constexpr std::chrono::seconds kBusyLimit{30};

std::string languageTag(std::int32_t languageId) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    return LCIDToLocaleName(static_cast<LCID>(languageId), name, LOCALE_NAME_MAX_LENGTH, 0) > 0
               ? toUtf8(name)
               : std::string();
}

// The fonts PowerPoint can draw with: the families Windows has.
std::set<std::string> installedFonts() {
    std::set<std::string> names;
    LOGFONTW all{};
    all.lfCharSet = DEFAULT_CHARSET;
    const HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(
        screen, &all,
        [](const LOGFONTW *font, const TEXTMETRICW *, DWORD, LPARAM found) -> int {
            reinterpret_cast<std::set<std::string> *>(found)->insert(toUtf8(font->lfFaceName));
            return 1;
        },
        reinterpret_cast<LPARAM>(&names), 0);
    ReleaseDC(nullptr, screen);
    return names;
}

// PowerPoint, with our own page where it saves none. Every object lives on
// one thread, whichever thread calls.
std::shared_ptr<AutomationRegistry> powerPoint(std::chrono::milliseconds fileTimeout,
                                               std::shared_ptr<CallWaiter> waiter) {
    return makeSingleThreadRegistry(
        powerpoint::makeOwnPageRegistry(makeComRegistry(kBusyLimit, fileTimeout),
                                        {languageTag, installedFonts, {}}),
        std::move(waiter));
}

} // namespace

std::shared_ptr<AutomationRegistry> makeWindowAutomation(std::shared_ptr<CallWaiter> waiter) {
    return powerPoint(kDefaultFileTimeLimit, std::move(waiter));
}

std::shared_ptr<AutomationRegistry> makePlatformAutomation() {
    return powerPoint(kDefaultFileTimeLimit, makeBlockingWaiter());
}

// A PowerPoint we started is ended when a file runs past the limit.
// PowerPoint's memory is its own affair: no cap is given to it.
std::shared_ptr<AutomationRegistry>
makePlatformAutomation(std::optional<std::chrono::milliseconds> fileTimeout, std::uint64_t) {
    return powerPoint(fileTimeout.value_or(kDefaultFileTimeLimit), makeBlockingWaiter());
}

std::uint64_t availableMemoryBytes() {
    return 0;
}

// Ends a PowerPoint that we started and that still runs; never the user's.
void shutdownPlatformAutomation() {
    endStartedServers();
}

} // namespace velloran
