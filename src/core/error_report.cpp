#include "core/error_report.h"

#include "core/build_config.h"

namespace velloran {

std::string errorReportText(std::string_view description, std::string_view location, int line) {
    std::string text(description);
    text += "\r\n";
    text += location;
    text += "at line ";
    text += std::to_string(line);
    text += "\r\r";
    text += "Please email screenshot of this message to ";
    text += kSupportEmail;
    return text;
}

std::string describeCurrentException() {
    try {
        throw;
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "Unknown failure";
    }
}

void ReportingProcedure::report(int line, const std::string &description) {
    ++m_failures;
    m_reporter.reportError(errorReportText(description, m_location, line));
}

} // namespace velloran
