#include "core/export.h"

#include <filesystem>
#include <system_error>

#include "core/error_report.h"
#include "core/names.h"
#include "core/path_rules.h"

namespace velloran {

void checkOfficeInstalled(AutomationRegistry &registry, Dialogs &dialogs) {
    AutoRef app;
    try {
        app = registry.create(kPowerPointClass);
    } catch (...) {
        // A failed creation leaves no object, which the next step reports.
    }
    if (!app)
        dialogs.messageBox("PowerPoint is not installed on this computer. You need to have it "
                           "installed to use this software without error.",
                           kStyleOkOnly, kAppTitle);
}

bool isPowerPointRunning(AutomationRegistry &registry) {
    try {
        AutoRef app = registry.attach(kPowerPointClass);
        if (!app)
            return false;
        const Variant name = app->get(kDefaultMember);
        const auto *text = std::get_if<std::string>(&name);
        return text && *text == "Microsoft PowerPoint";
    } catch (...) {
        return false;
    }
}

bool warnIfPowerPointOpen(AutomationRegistry &registry, Dialogs &dialogs) {
    if (!isPowerPointRunning(registry))
        return false;
    const int answer = dialogs.messageBox("PowerPoint may be open. It is recommended that you "
                                          "close PowerPoint first.\r\n\r\nWould you like to "
                                          "proceed anyway?",
                                          kStyleYesNo, kAppTitle);
    return answer != kAnswerYes;
}

namespace {

AutoRef need(const AutoRef &ref, const char *what) {
    if (!ref)
        throw AutomationError(std::string("Object variable not set (") + what + ")");
    return ref;
}

// One spelling per file: links and relative parts resolved, so that
// "x/../deck.htm" and "deck.htm" count as one page.
std::string canonicalKey(const std::string &path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto canonical = fs::weakly_canonical(fs::u8path(path), ec).u8string();
    return ec ? path : std::string(canonical.begin(), canonical.end());
}

// True when both texts name the same file.
bool sameFile(const std::string &a, const std::string &b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    return fs::equivalent(fs::u8path(a), fs::u8path(b), ec) || canonicalKey(a) == canonicalKey(b);
}

} // namespace

std::string PagesWritten::keyOf(const std::string &page) {
    return canonicalKey(page);
}

std::optional<std::string> PagesWritten::writerOf(const std::string &page) const {
    std::lock_guard lock(m_mutex);
    const auto it = m_pages.find(page);
    return it == m_pages.end() ? std::nullopt : std::optional<std::string>(it->second);
}

void PagesWritten::record(const std::string &page, const std::string &input) {
    std::lock_guard lock(m_mutex);
    m_pages.emplace(page, input);
}

ExportResult PresentationExporter::exportPresentation(const std::string &inputPath,
                                                      const ExportTarget &target) {
    ReportingProcedure proc(m_reporter, kExportLocation);
    AutoRef created, app, presentation;
    std::string name, folder, out;
    std::optional<int> slides;

    proc.step(102, [&] { created = m_registry.create(kPowerPointClass); });
    proc.step(104, [&] {
        try {
            app = m_registry.attach(kPowerPointClass);
        } catch (const AutomationError &) {
            // Office enters the running-object table a while after it starts,
            // so right after a create the created application serves.
            if (!created)
                throw;
            app = created;
        }
    });
    proc.step(106, [&] { need(created, kPowerPointClass)->put("Visible", true); });
    proc.step(108, [&] {
        AutoRef presentations =
            asObject(need(app, kPowerPointClass)->get("Presentations"), "Presentations");
        Variant opened = presentations->call("Open", {{"fileName", inputPath}});
        // Keep what Open returned: the active presentation may be one the user had open.
        presentation = asObject(opened, "Presentations.Open");
    });
    proc.step(110, [&] { name = fileNameOf(inputPath); });
    proc.step(112, [&] { name = stemOf(name); });
    proc.step(114, [&] { name += target.useHtm ? ".htm" : ".html"; });
    proc.step(116, [&] { folder = target.folder; });
    proc.step(118, [&] { out = joinOutputPath(folder, name); });
    proc.step(120, [&] {
        if (!presentation)
            throw AutomationError("The presentation " + inputPath +
                                  " was not opened, so it cannot be saved.");
        if (sameFile(out, inputPath))
            throw AutomationError("The web page " + out +
                                  " would overwrite the input file itself; it was not saved.");
        const std::string key = canonicalKey(out);
        // The same file listed twice is simply exported again.
        if (const auto earlier = m_pages->writerOf(key); earlier && !sameFile(*earlier, inputPath))
            throw AutomationError("The web page " + out + " was already made from " + *earlier +
                                  " in this run, so " + inputPath +
                                  " was not saved over it. Rename one of the two files, or "
                                  "convert them into different folders, to get both pages.");
        presentation->call("SaveAs", {{"fileName", out}, {"FileFormat", kSaveAsHtml}});
        m_pages->record(key, inputPath);
        if (target.countSlides) {
            try {
                slides = asInt(asObject(presentation->get("Slides"), "Slides")->get("Count"),
                               "Slides.Count");
            } catch (const std::exception &) {
            }
        }
    });
    proc.step(122, [&] { need(app, kPowerPointClass)->put("DisplayAlerts", kAlertsNone); });
    proc.step(124, [&] {
        need(app, kPowerPointClass);
        const std::int32_t open =
            asInt(asObject(app->get("Presentations"), "Presentations")->get("Count"),
                  "Presentations.Count");
        const std::int32_t others = open - (presentation ? 1 : 0);
        if (others > 0) {
            // The user has work open in the same application: close only ours.
            if (presentation)
                presentation->call("Close", {});
        } else {
            app->call("Quit", {});
        }
    });
    return {proc.failures(), out, slides};
}

} // namespace velloran
