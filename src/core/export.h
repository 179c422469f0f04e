#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/automation.h"
#include "core/ports.h"

namespace velloran {

// The automation class the export drives, and SaveAs's format number for a
// web page (ppSaveAsHTML).
inline constexpr const char *kPowerPointClass = "PowerPoint.Application";
inline constexpr std::int32_t kSaveAsHtml = 12;
// PowerPoint's DisplayAlerts is a PpAlertLevel, not a Boolean: ppAlertsNone.
inline constexpr std::int32_t kAlertsNone = 1;

// Where one presentation's page goes.
struct ExportTarget {
    std::string folder;
    bool useHtm = true; // ".htm", else ".html"
    // After a successful SaveAs, also ask the presentation for its number of
    // slides (Slides.Count). Not a step of its own: an answer that fails is
    // simply not given.
    bool countSlides = false;
};

struct ExportResult {
    int failures = 0;          // error reports shown
    std::string page;          // the page path the export aimed at
    std::optional<int> slides; // with countSlides, when the presentation said
};

// The pages one run has written, each with the input it came from. Shared
// by the exporters of a run that converts on several servers at once.
class PagesWritten {
public:
    std::optional<std::string> writerOf(const std::string &page) const;
    void record(const std::string &page, const std::string &input);
    // The one spelling of a page path under which it is recorded.
    static std::string keyOf(const std::string &page);

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_pages; // one spelling per page -> input
};

// Converts presentations into web pages by driving the automation server,
// one file per call. Every failing step is reported and the next step runs;
// nothing reaches the caller. An exporter serves one run: it remembers the
// pages the run wrote, so that a later input with the same page name
// (deck.ppt after deck.pptx) fails instead of silently replacing the page.
class PresentationExporter {
public:
    PresentationExporter(AutomationRegistry &registry, Reporter &reporter,
                         std::shared_ptr<PagesWritten> pages = std::make_shared<PagesWritten>())
        : m_registry(registry), m_reporter(reporter), m_pages(std::move(pages)) {}

    ExportResult exportPresentation(const std::string &inputPath, const ExportTarget &target);

private:
    AutomationRegistry &m_registry;
    Reporter &m_reporter;
    std::shared_ptr<PagesWritten> m_pages;
};

// Shows the "not installed" message when the automation class cannot be
// created. The object is released at once, never quit.
void checkOfficeInstalled(AutomationRegistry &registry, Dialogs &dialogs);

// True when a running application of the class answers "Microsoft PowerPoint"
// from its default property. Any failure means false.
bool isPowerPointRunning(AutomationRegistry &registry);

// Asks whether to go on when PowerPoint is running. True means: do not start.
bool warnIfPowerPointOpen(AutomationRegistry &registry, Dialogs &dialogs);

} // namespace velloran
