#pragma once

#include <string>
#include <string_view>

#include "core/ports.h"

namespace velloran {

// The whole text of the error report: description, CR LF, location name,
// "at line " and the number, CR CR, then the request to email a screenshot.
std::string errorReportText(std::string_view description, std::string_view location, int line);

// The description of a caught failure: what() of a standard exception, a
// fixed text for anything else.
std::string describeCurrentException();

// A procedure that reports its failures and carries on: it runs numbered steps;
// a step that throws is abandoned, the error report is shown with the step's
// line number, and the next step runs. WindowClosed is not a failure: it
// passes through, so that the whole handler unwinds.
class ReportingProcedure {
public:
    ReportingProcedure(Reporter &reporter, std::string_view location)
        : m_reporter(reporter), m_location(location) {}

    // Runs one numbered step. Returns false when it failed (and was reported).
    template <class F> bool step(int line, F &&body) {
        try {
            body();
            return true;
        } catch (const WindowClosed &) {
            throw;
        } catch (...) {
            report(line, describeCurrentException());
            return false;
        }
    }

    int failures() const { return m_failures; }

private:
    void report(int line, const std::string &description);

    Reporter &m_reporter;
    std::string_view m_location;
    int m_failures = 0;
};

} // namespace velloran
