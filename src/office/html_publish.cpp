#include "office/html_publish.h"

#include "core/automation.h"

#include <chrono>
#include <random>
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

void publishStaged(const fs::path &staging, const fs::path &page) {
    std::error_code ec;
    const fs::path stagedMain = staging / kStagedMainName;
    const std::string pageName = page.filename().string();
    if (!fs::is_regular_file(stagedMain, ec) || fs::file_size(stagedMain, ec) == 0 || ec) {
        discardStaging(staging);
        throw AutomationError("LibreOffice wrote no web page for " + pageName + ".");
    }

    const fs::path folder = companionFolder(page);
    fs::path newMain;
    try {
        newMain = page.parent_path() / ("." + pageName + ".velloran-" + randomSuffix());
        fs::rename(stagedMain, newMain);
    } catch (const std::exception &e) {
        discardStaging(staging);
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
