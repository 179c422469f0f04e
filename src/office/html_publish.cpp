#include "office/html_publish.h"

#include "core/automation.h"

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <system_error>
#include <unistd.h>

namespace velloran::office {

namespace fs = std::filesystem;

namespace {

std::string randomSuffix() {
    std::random_device rd;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string s;
    for (int i = 0; i < 8; ++i)
        s += digits[rd() % 36];
    return s;
}

std::string readFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw AutomationError("The exported page " + file.string() + " could not be read.");
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const fs::path &file, const std::string &text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        throw AutomationError("The page " + file.string() +
                              " could not be written (is the disk full?).");
}

bool isHtml(const fs::path &file) {
    std::string ext = file.extension().string();
    for (auto &c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".html" || ext == ".htm";
}

bool isRelativeLink(std::string_view url) {
    if (url.empty() || url.front() == '/' || url.front() == '#' || url.front() == '?')
        return false;
    // A scheme is letters/digits/+-. followed by ':' before any '/'.
    for (char c : url) {
        if (c == ':')
            return false;
        if (c == '/' || c == '?' || c == '#')
            break;
    }
    return true;
}

bool ieq(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string describe(const std::error_code &ec) {
    return ec.message();
}

} // namespace

fs::path companionFolder(const fs::path &page) {
    return page.parent_path() / (page.stem().string() + "_files");
}

namespace {

// Working folders and files of an export that was cut short (our process
// killed mid-way) stay hidden beside the page. Clear those of the same page
// once they are clearly abandoned; a fresh one may belong to a concurrent
// export.
void removeAbandonedLeftovers(const fs::path &page) {
    const std::string prefixes[] = {
        "." + page.stem().string() + "_files.velloran-",
        "." + page.stem().string() + "_files.old-",
        "." + page.filename().string() + ".velloran-",
    };
    const auto cutoff = fs::file_time_type::clock::now() - std::chrono::hours(1);
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(page.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        bool ours = false;
        for (const auto &prefix : prefixes)
            ours = ours || (name.starts_with(prefix) && name.size() == prefix.size() + 8);
        std::error_code timeEc;
        if (ours && entry.last_write_time(timeEc) < cutoff && !timeEc)
            fs::remove_all(entry.path(), timeEc);
    }
}

} // namespace

fs::path makeStagingFolder(const fs::path &page) {
    const fs::path folder = page.parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw AutomationError("The output folder " + folder.string() + " does not exist.");
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        throw AutomationError("The output folder " + folder.string() + " is not writable.");
    if (fs::is_directory(page, ec))
        throw AutomationError("The output " + page.string() +
                              " is a folder; choose another page name.");
    removeAbandonedLeftovers(page);
    for (int attempt = 0; attempt < 16; ++attempt) {
        fs::path staging =
            folder / ("." + page.stem().string() + "_files.velloran-" + randomSuffix());
        if (fs::create_directory(staging, ec))
            return staging;
        if (ec && ec != std::errc::file_exists)
            break;
    }
    throw AutomationError("A working folder could not be created in " + folder.string() + ": " +
                          describe(ec) + ".");
}

void discardStaging(const fs::path &staging) noexcept {
    std::error_code ec;
    fs::remove_all(staging, ec);
}

std::string encodeUrlSegment(std::string_view segment) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : segment) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string decodeUrl(std::string_view url) {
    std::string out;
    for (std::size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() &&
            std::isxdigit(static_cast<unsigned char>(url[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(url[i + 2]))) {
            out += char(std::strtol(std::string(url.substr(i + 1, 2)).c_str(), nullptr, 16));
            i += 2;
        } else {
            out += url[i];
        }
    }
    return out;
}

std::string rewriteLinks(std::string_view html,
                         const std::function<std::string(const std::string &)> &map) {
    static const std::string_view attributes[] = {"href", "src", "background"};
    std::string out;
    out.reserve(html.size() + 256);
    std::size_t pos = 0;
    bool inTag = false;
    while (pos < html.size()) {
        char c = html[pos];
        if (!inTag) {
            if (c == '<')
                inTag = true;
            out += c;
            ++pos;
            continue;
        }
        if (c == '>') {
            inTag = false;
            out += c;
            ++pos;
            continue;
        }
        // Inside a tag: look for name = "value".
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            out += c;
            ++pos;
            continue;
        }
        std::size_t nameEnd = pos;
        while (nameEnd < html.size() &&
               (std::isalnum(static_cast<unsigned char>(html[nameEnd])) || html[nameEnd] == '-'))
            ++nameEnd;
        std::string_view name = html.substr(pos, nameEnd - pos);
        std::size_t eq = nameEnd;
        while (eq < html.size() && std::isspace(static_cast<unsigned char>(html[eq])))
            ++eq;
        if (eq >= html.size() || html[eq] != '=') {
            out.append(name);
            pos = nameEnd;
            continue;
        }
        std::size_t valueStart = eq + 1;
        while (valueStart < html.size() &&
               std::isspace(static_cast<unsigned char>(html[valueStart])))
            ++valueStart;
        std::size_t valueEnd;
        std::string_view value;
        char quote = valueStart < html.size() ? html[valueStart] : '\0';
        if (quote == '"' || quote == '\'') {
            valueEnd = html.find(quote, valueStart + 1);
            if (valueEnd == std::string_view::npos) {
                out.append(html.substr(pos));
                break;
            }
            value = html.substr(valueStart + 1, valueEnd - valueStart - 1);
            ++valueEnd;
        } else {
            quote = '\0';
            valueEnd = valueStart;
            while (valueEnd < html.size() &&
                   !std::isspace(static_cast<unsigned char>(html[valueEnd])) &&
                   html[valueEnd] != '>')
                ++valueEnd;
            value = html.substr(valueStart, valueEnd - valueStart);
        }
        bool isLink = false;
        for (auto a : attributes)
            isLink = isLink || ieq(name, a);
        std::string replacement;
        if (isLink && isRelativeLink(value)) {
            std::size_t cut = value.find_first_of("#?");
            std::string_view path = value.substr(0, cut);
            std::string_view rest = cut == std::string_view::npos ? "" : value.substr(cut);
            std::string mapped = map(decodeUrl(path));
            if (!mapped.empty())
                replacement = mapped + std::string(rest);
        }
        if (replacement.empty()) {
            out.append(html.substr(pos, valueEnd - pos));
        } else {
            out.append(html.substr(pos, valueStart - pos));
            const char q = quote ? quote : '"';
            out += q;
            out += replacement;
            out += q;
        }
        pos = valueEnd;
    }
    return out;
}

void publishStaged(const fs::path &staging, const fs::path &page) {
    std::error_code ec;
    const fs::path stagedMain = staging / kStagedMainName;
    const std::string pageName = page.filename().string();
    if (!fs::is_regular_file(stagedMain, ec) || fs::file_size(stagedMain, ec) == 0 || ec) {
        discardStaging(staging);
        throw AutomationError("LibreOffice wrote no web page for " + pageName + ".");
    }

    const fs::path folder = companionFolder(page);
    const std::string folderLink = encodeUrlSegment(folder.filename().string());
    const std::string pageLink = encodeUrlSegment(pageName);
    std::string mainText;
    fs::path newMain;
    try {
        std::set<std::string> companions;
        for (const auto &entry : fs::directory_iterator(staging)) {
            const std::string name = entry.path().filename().string();
            if (name != kStagedMainName)
                companions.insert(name);
        }
        // The main page moves out of the folder: its links into the export
        // gain the folder name. Links to itself keep pointing at itself.
        mainText = rewriteLinks(readFile(stagedMain), [&](const std::string &target) {
            if (target == kStagedMainName)
                return pageLink;
            std::string first = target.substr(0, target.find('/'));
            if (companions.count(first))
                return folderLink + "/" + target;
            return std::string();
        });
        // Companion pages stay in the folder; their links back to the main
        // page climb out of it.
        for (const auto &name : companions) {
            const fs::path file = staging / name;
            if (!isHtml(file) || !fs::is_regular_file(file))
                continue;
            std::string text = readFile(file);
            std::string rewritten = rewriteLinks(text, [&](const std::string &target) {
                return target == kStagedMainName ? "../" + pageLink : std::string();
            });
            if (rewritten != text)
                writeFile(file, rewritten);
        }
        fs::remove(stagedMain);
        newMain = page.parent_path() / ("." + pageName + ".velloran-" + randomSuffix());
        writeFile(newMain, mainText);
    } catch (const std::exception &e) {
        if (!newMain.empty())
            fs::remove(newMain, ec);
        discardStaging(staging);
        if (dynamic_cast<const AutomationError *>(&e))
            throw;
        throw AutomationError("The page " + page.string() + " could not be written: " + e.what() +
                              ".");
    }

    // Swap in: move an earlier companion folder aside, put ours in its
    // place, then replace the page itself (rename is atomic per file).
    fs::path old;
    if (fs::exists(fs::symlink_status(folder, ec))) {
        old = page.parent_path() / ("." + folder.filename().string() + ".old-" + randomSuffix());
        fs::rename(folder, old, ec);
        if (ec) {
            fs::remove(newMain, ec);
            discardStaging(staging);
            throw AutomationError("The earlier folder " + folder.string() +
                                  " could not be replaced: " + describe(ec) + ".");
        }
    }
    fs::rename(staging, folder, ec);
    const bool placed = !ec;
    if (placed)
        fs::rename(newMain, page, ec);
    if (ec) {
        const std::string reason = describe(ec);
        std::error_code ignored;
        if (placed)
            fs::remove_all(folder, ignored);
        if (!old.empty())
            fs::rename(old, folder, ignored);
        fs::remove(newMain, ignored);
        discardStaging(staging);
        throw AutomationError("The page " + page.string() + " could not be written: " + reason +
                              ".");
    }
    if (!old.empty())
        fs::remove_all(old, ec);
}

} // namespace velloran::office
