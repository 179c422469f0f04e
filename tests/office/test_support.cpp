#include "test_support.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace velloran::office::test {

namespace {

std::string xmlEscape(const std::string &s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '&':
            out += "&amp;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

void writeDeck(const fs::path &file, const std::vector<std::string> &slideTexts) {
    std::ostringstream x;
    x << R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles>
  <style:page-layout style:name="PM1">
   <style:page-layout-properties fo:page-width="28cm" fo:page-height="15.75cm"/>
  </style:page-layout>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Default" style:page-layout-name="PM1"/>
 </office:master-styles>
 <office:body><office:presentation>
)";
    int n = 0;
    for (const auto &text : slideTexts) {
        x << "  <draw:page draw:name=\"page" << ++n << "\" draw:master-page-name=\"Default\">\n"
          << "   <draw:frame presentation:class=\"title\" svg:x=\"2cm\" svg:y=\"2cm\" "
             "svg:width=\"24cm\" svg:height=\"3cm\"><draw:text-box><text:p>"
          << xmlEscape(text) << "</text:p></draw:text-box></draw:frame>\n  </draw:page>\n";
    }
    x << " </office:presentation></office:body>\n</office:document>\n";
    writeBytes(file, x.str());
}

std::vector<std::string> numberedSlides(const std::string &prefix, int count) {
    std::vector<std::string> slides;
    for (int i = 1; i <= count; ++i)
        slides.push_back(prefix + " " + std::to_string(i));
    return slides;
}

void writeSpreadsheet(const fs::path &file) {
    writeBytes(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body><office:spreadsheet>
  <table:table table:name="Sheet1"><table:table-row>
   <table:table-cell><text:p>42</text:p></table:table-cell>
  </table:table-row></table:table>
 </office:spreadsheet></office:body>
</office:document>
)");
}

void writeDrawing(const fs::path &file) {
    writeBytes(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.graphics">
 <office:master-styles><style:master-page style:name="Default"/></office:master-styles>
 <office:body><office:drawing>
  <draw:page draw:name="page1" draw:master-page-name="Default">
   <draw:rect svg:x="1cm" svg:y="1cm" svg:width="5cm" svg:height="3cm"/>
  </draw:page>
 </office:drawing></office:body>
</office:document>
)");
}

void writeBytes(const fs::path &file, const std::string &bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string readText(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Conversion convert(AutomationRegistry &registry, const fs::path &input, const fs::path &page) {
    Conversion result;
    try {
        AutoRef a = registry.create("PowerPoint.Application");
        AutoRef b = registry.attach("PowerPoint.Application");
        a->put("Visible", true);
        AutoRef presentations = asObject(b->get("Presentations"), "Presentations");
        AutoRef p = asObject(presentations->call("Open", {{"fileName", input.string()}}), "Open");
        AutoRef slides = asObject(p->get("Slides"), "Slides");
        result.slides = asInt(slides->get("Count"), "Count");
        try {
            p->call("SaveAs", {{"fileName", page.string()}, {"FileFormat", std::int32_t(12)}});
        } catch (...) {
            b->call("Quit", {});
            throw;
        }
        b->put("DisplayAlerts", false);
        const auto open = asInt(asObject(b->get("Presentations"), "P")->get("Count"), "Count");
        if (open > 1)
            p->call("Close", {});
        else
            b->call("Quit", {});
        result.ok = true;
    } catch (const AutomationError &e) {
        result.error = e.what();
    }
    return result;
}

std::vector<pid_t> workerPids() {
    std::vector<pid_t> pids;
    const pid_t self = getpid();
    for (const auto &entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::all_of(name.begin(), name.end(), ::isdigit))
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // pid (comm) state ppid ...
        auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::string comm = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        char state;
        pid_t ppid;
        rest >> state >> ppid;
        if (ppid == self && comm == "soffice.bin" && state != 'Z')
            pids.push_back(std::stoi(name));
    }
    return pids;
}

pid_t theWorker() {
    auto pids = workerPids();
    return pids.size() == 1 ? pids.front() : -1;
}

bool processExists(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

bool waitUntilGone(pid_t pid, std::chrono::seconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (processExists(pid)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

namespace {

std::string percentDecode(const std::string &s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

} // namespace

std::vector<std::string> relativeLinks(const fs::path &page) {
    static const std::regex link(R"re((?:href|src)\s*=\s*"([^"]*)")re", std::regex::icase);
    const std::string html = readText(page);
    std::vector<std::string> links;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), link);
         it != std::sregex_iterator(); ++it) {
        std::string url = (*it)[1];
        if (url.empty() || url[0] == '#' || url.find(':') != std::string::npos)
            continue;
        links.push_back(percentDecode(url.substr(0, url.find('#'))));
    }
    return links;
}

std::vector<std::string> brokenLinks(const fs::path &page) {
    std::vector<std::string> broken;
    for (const auto &link : relativeLinks(page))
        if (!fs::is_regular_file(page.parent_path() / link))
            broken.push_back(page.filename().string() + " -> " + link);
    return broken;
}

std::vector<std::string> namesMatching(const fs::path &dir, const std::string &pattern) {
    const std::regex re(pattern);
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (std::regex_match(name, re))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

fs::path corpusDir() {
    if (const char *env = std::getenv("VELLORAN_CORPUS_DIR"); env && *env)
        return env;
#ifdef VELLORAN_CORPUS_DIR
    fs::path dir = VELLORAN_CORPUS_DIR;
    std::error_code ec;
    if (fs::is_regular_file(dir / "MANIFEST.tsv", ec))
        return fs::weakly_canonical(dir, ec);
#endif
    return {};
}

} // namespace velloran::office::test
