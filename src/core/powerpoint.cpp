#include "core/powerpoint.h"

#include <filesystem>
#include <system_error>

#include "core/error_report.h"
#include "core/form_port.h"
#include "core/path_rules.h"

namespace velloran {

void CheckPowerPointInstalled(AutomationRegistry &registry, FormPort &ui) {
    AutoRef app;
    try {
        app = registry.create(kPowerPointClass);
    } catch (...) {
        // A failed creation leaves no object, which the next step reports.
    }
    if (!app)
        ui.msgBox("PowerPoint is not installed on this computer. You need to have it installed to "
                  "use this software without error.",
                  kStyleOkOnly, kAppTitle);
}

bool IsPowerPointRunning(AutomationRegistry &registry) {
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

bool WarnIfPowerPointOpen(AutomationRegistry &registry, FormPort &ui) {
    if (!IsPowerPointRunning(registry))
        return false;
    const int answer = ui.msgBox("PowerPoint may be open. It is recommended that you close "
                                 "PowerPoint first.\r\n\r\nWould you like to proceed anyway?",
                                 kStyleYesNo, kAppTitle);
    return answer != kAnswerYes;
}

namespace {

AutoRef need(const AutoRef &ref, const char *what) {
    if (!ref)
        throw AutomationError(std::string("Object variable not set (") + what + ")");
    return ref;
}

// True when both texts name the same file, compared after resolving links and
// relative parts, so that "x/../deck.htm" and "deck.htm" count as one.
bool sameFile(const std::string &a, const std::string &b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(fs::u8path(a), fs::u8path(b), ec))
        return true;
    const auto ca = fs::weakly_canonical(fs::u8path(a), ec);
    if (ec)
        return false;
    const auto cb = fs::weakly_canonical(fs::u8path(b), ec);
    return !ec && ca == cb;
}

} // namespace

int DoItByFile(const std::string &inputPath, FormPort &ui, AutomationRegistry &registry) {
    ReportingProcedure proc(ui, location::kDoItByFile);
    AutoRef created, app, presentation;
    std::string name, folder, out;

    proc.step(102, [&] { created = registry.create(kPowerPointClass); });
    proc.step(104, [&] { app = registry.attach(kPowerPointClass); });
    proc.step(106, [&] { need(created, "PowerPoint.Application")->put("Visible", true); });
    proc.step(108, [&] {
        AutoRef presentations =
            asObject(need(app, "PowerPoint.Application")->get("Presentations"), "Presentations");
        Variant opened = presentations->call("Open", {{"fileName", inputPath}});
        // Keep what Open returned: the active presentation may be one the user had open.
        presentation = asObject(opened, "Presentations.Open");
    });
    proc.step(110, [&] { name = FileNameFromPath(inputPath); });
    proc.step(112, [&] { name = StemOf(name); });
    proc.step(114, [&] { name += ui.option1() ? ".htm" : ".html"; });
    proc.step(116, [&] { folder = ui.text1(); });
    proc.step(118, [&] { out = JoinOutputPath(folder, name); });
    proc.step(120, [&] {
        if (!presentation)
            throw AutomationError("The presentation " + inputPath +
                                  " was not opened, so it cannot be saved.");
        if (sameFile(out, inputPath))
            throw AutomationError("The web page " + out +
                                  " would overwrite the input file itself; it was not saved.");
        presentation->call("SaveAs", {{"fileName", out}, {"FileFormat", kSaveAsHtml}});
    });
    proc.step(122, [&] { need(app, "PowerPoint.Application")->put("DisplayAlerts", false); });
    proc.step(124, [&] {
        need(app, "PowerPoint.Application");
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
    return proc.failures();
}

} // namespace velloran
