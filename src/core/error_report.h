#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace velloran {

class FormPort;

// Location names of the procedures that report their failures. Each ends in
// one blank, so the report reads "...PushButton3_Click at line 120".
namespace location {
inline constexpr std::string_view kHelp = "in Velloran5/20/2014.Form1.PushButton1_Click ";
inline constexpr std::string_view kClearList = "in Velloran5/20/2014.Form1.PushButton2_Click ";
inline constexpr std::string_view kAddFiles = "in Velloran5/20/2014.Form1.PushButton3_Click ";
inline constexpr std::string_view kSamples = "in Velloran5/20/2014.Form1.PushButton4_Click ";
inline constexpr std::string_view kOutputFolder = "in Velloran5/20/2014.Form1.PushButton5_Click ";
inline constexpr std::string_view kAddFolder = "in Velloran5/20/2014.Form1.PushButton6_Click ";
inline constexpr std::string_view kExportRun = "in Velloran5/20/2014.Form1.PushButton7_Click ";
inline constexpr std::string_view kDoItByFile = "in Velloran5/20/2014.PowerPoint.DoItByFile ";
} // namespace location

inline constexpr const char *kErrorReportTitle = "Application Error";
inline constexpr int kErrorReportStyle = 48;

// The whole text of the error report: description, CR LF, location name,
// "at line " and the number, CR CR, then the request to email a screenshot.
std::string ErrorReportText(std::string_view description, std::string_view location, int line);

// The description of a caught failure: what() of a standard exception, a
// fixed text for anything else.
std::string DescribeCurrentException();

// A procedure that reports its failures and carries on: it runs numbered steps;
// a step that throws is abandoned, the error report is shown with the step's
// line number, and the next step runs.
class ReportingProcedure {
public:
    ReportingProcedure(FormPort &ui, std::string_view location) : m_ui(ui), m_location(location) {}

    // Runs one numbered step. Returns false when it failed (and was reported).
    template <class F> bool step(int line, F &&body) {
        try {
            body();
            return true;
        } catch (...) {
            report(line, DescribeCurrentException());
            return false;
        }
    }

    int failures() const { return m_failures; }

private:
    void report(int line, const std::string &description);

    FormPort &m_ui;
    std::string_view m_location;
    int m_failures = 0;
};

} // namespace velloran
