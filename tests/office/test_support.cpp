#include "test_support.h"

#include "office/page_writer.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace velloran::office::test {

void writeFlatOdf(const fs::path &file, const std::string &type, const std::string &body,
                  const std::string &meta) {
    writeBytes(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:dc="http://purl.org/dc/elements/1.1/"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.)" +
                         type + R"(">
 <office:meta>)" + meta + R"(</office:meta>
 <office:automatic-styles><style:page-layout style:name="PM1">
  <style:page-layout-properties fo:page-width="28cm" fo:page-height="15.75cm"/>
 </style:page-layout></office:automatic-styles>
 <office:master-styles><style:master-page style:name="Default" style:page-layout-name="PM1"/>
 </office:master-styles>
 <office:body>)" + body + "</office:body>\n</office:document>\n");
}

void writeDeck(const fs::path &file, const std::vector<std::string> &titles) {
    std::string pages;
    for (const auto &title : titles)
        pages +=
            R"(<draw:page draw:master-page-name="Default"><draw:frame presentation:class="title"
 svg:x="2cm" svg:y="2cm" svg:width="24cm" svg:height="3cm"><draw:text-box><text:p>)" +
            escapeHtml(title) + "</text:p></draw:text-box></draw:frame></draw:page>\n";
    writeFlatOdf(file, "presentation", "<office:presentation>" + pages + "</office:presentation>");
}

std::vector<std::string> numbered(const std::string &prefix, int count) {
    std::vector<std::string> titles;
    for (int i = 1; i <= count; ++i)
        titles.push_back(prefix + " " + std::to_string(i));
    return titles;
}

void writeBytes(const fs::path &file, const std::string &bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

std::string readText(const fs::path &file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

std::map<std::string, std::string> snapshot(const fs::path &dir) {
    std::map<std::string, std::string> files;
    for (const auto &e : fs::recursive_directory_iterator(dir)) {
        std::string &entry = files[e.path().lexically_relative(dir).string()];
        if (e.is_symlink() || !e.is_regular_file())
            entry = "<not a file>";
        else
            entry = std::to_string(std::hash<std::string>{}(readText(e.path())));
    }
    return files;
}

Conversion convert(AutomationRegistry &registry, const fs::path &input, const fs::path &page) {
    Conversion result;
    try {
        AutoRef a = registry.create("PowerPoint.Application");
        AutoRef b = registry.attach("PowerPoint.Application");
        a->put("Visible", true);
        AutoRef presentations = asObject(b->get("Presentations"), "Presentations");
        AutoRef p = asObject(presentations->call("Open", {{"fileName", input.string()}}), "Open");
        result.slides = asInt(asObject(p->get("Slides"), "Slides")->get("Count"), "Count");
        try {
            p->call("SaveAs", {{"fileName", page.string()}, {"FileFormat", std::int32_t(12)}});
        } catch (...) {
            b->call("Quit", {});
            throw;
        }
        b->put("DisplayAlerts", false);
        if (asInt(asObject(b->get("Presentations"), "P")->get("Count"), "Count") > 1)
            p->call("Close", {});
        else
            b->call("Quit", {});
        result.ok = true;
    } catch (const AutomationError &e) {
        result.error = e.what();
    }
    return result;
}

::testing::AssertionResult converts(AutomationRegistry &registry, const fs::path &input,
                                    const fs::path &page, int slides) {
    const Conversion c = convert(registry, input, page);
    if (!c.ok)
        return ::testing::AssertionFailure() << c.error;
    if (slides >= 0 && c.slides != slides)
        return ::testing::AssertionFailure() << c.slides << " slides, not " << slides;
    return ::testing::AssertionSuccess();
}

namespace {

// From "pid (comm) state ppid ..." in /proc/<pid>/stat. A name with a space
// comes out wrong, but never equals soffice.bin.
struct ProcStat {
    std::string pid, comm;
    char state = 'Z';
    pid_t ppid = 0;
};

ProcStat procStat(const std::string &pid) {
    ProcStat s;
    std::ifstream("/proc/" + pid + "/stat") >> s.pid >> s.comm >> s.state >> s.ppid;
    return s;
}

} // namespace

std::vector<pid_t> workerPids() {
    std::vector<pid_t> pids;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (!std::all_of(name.begin(), name.end(), ::isdigit))
            continue;
        const ProcStat s = procStat(name);
        if (s.ppid == getpid() && s.comm == "(soffice.bin)" && s.state != 'Z')
            pids.push_back(std::stoi(name));
    }
    return pids;
}

pid_t theWorker() {
    const auto pids = workerPids();
    return pids.size() == 1 ? pids.front() : -1;
}

bool processExists(pid_t pid) {
    return procStat(std::to_string(pid)).state != 'Z';
}

bool waitUntilGone(pid_t pid, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (processExists(pid)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

std::vector<std::string> brokenLinks(const fs::path &page) {
    static const std::regex link(R"re((?:href|src)\s*=\s*"([^"#]*))re", std::regex::icase);
    const std::string html = readText(page);
    std::vector<std::string> broken;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), link);
         it != std::sregex_iterator(); ++it) {
        const std::string url = (*it)[1];
        if (url.empty() || url.find(':') != std::string::npos)
            continue; // a fragment, or a link with a scheme
        std::string target = url;
        for (std::size_t at = 0; (at = target.find('%', at)) != std::string::npos; ++at)
            target.replace(at, 3, 1, char(std::stoi(target.substr(at + 1, 2), nullptr, 16)));
        if (!fs::is_regular_file(page.parent_path() / target))
            broken.push_back(url);
    }
    return broken;
}

std::vector<std::string> namesMatching(const fs::path &dir, const std::string &pattern) {
    const std::regex re(pattern);
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(dir, ec))
        if (std::regex_match(entry.path().filename().string(), re))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

fs::path corpusDir() {
    std::error_code ec;
    const fs::path dir = VELLORAN_CORPUS_DIR;
    return fs::is_regular_file(dir / "MANIFEST.tsv", ec) ? fs::weakly_canonical(dir, ec) : "";
}

} // namespace velloran::office::test
