#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/automation.h"

namespace velloran::fakes {

// A recording stand-in for the "PowerPoint.Application" automation server.
// Every call is logged as one line, e.g.
//   create PowerPoint.Application
//   put Application.Visible = true
//   call Presentations.Open(fileName="/in/a.pptx")
// Values are rendered with describe(), so a string "12" and an integer 12
// log differently.
class FakePowerPoint final : public AutomationRegistry {
public:
    struct Options {
        bool installed = true;            // false: create() fails
        bool runningBeforeCreate = false; // attach() works with no create() first
        std::string defaultProperty = "Microsoft PowerPoint";
        int userPresentations = 0; // presentations the user already has open
        // Member name (e.g. "Open", "SaveAs", "Visible", "<default>") -> description to fail with.
        std::map<std::string, std::string> failures;
        // Input paths whose Open fails, with this description.
        std::map<std::string, std::string> unopenable;
        bool writeFiles = false; // SaveAs writes a small page at the requested path
        // With writeFiles, also a companion folder holding an empty export list.
        bool writeCompanion = false;
        int slides = 2; // what Slides.Count answers
    };

    FakePowerPoint() = default;
    explicit FakePowerPoint(Options options) : m_options(std::move(options)) {}

    AutoRef create(const std::string &className) override { return start("create", className); }
    AutoRef attach(const std::string &className) override { return start("attach", className); }

    Options &options() { return m_options; }
    const std::vector<std::string> &log() const { return m_log; }
    int openPresentations() const { return m_open; }
    // Called with each log line as it is recorded, before the call answers.
    std::function<void(const std::string &)> onCall;

    // Logs the line, then throws when the member was told to fail.
    void record(const std::string &line, const std::string &member);

private:
    AutoRef start(const std::string &verb, const std::string &className);
    AutoRef application();

    Options m_options;
    std::vector<std::string> m_log;
    int m_open = 0; // presentations open in the application
    std::weak_ptr<AutoObject> m_app;
};

} // namespace velloran::fakes
