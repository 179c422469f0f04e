#include "cli/source_marker.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "core/build_config.h"
#include "core/output_layout.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace velloran {

namespace fs = std::filesystem;

namespace {

// Raised when the marker's layout changes; a marker of another format is
// simply out of date. The page's extension is its one option (".htm" and
// ".html" pages share the companion folder); the version stands for
// whatever else changes the page. The marker holds no name, so that a name
// that is not UTF-8 needs no encoding there.
constexpr int kMarkerFormat = 1;

fs::path nativePath(const std::string &path) {
    return fs::u8path(path);
}

std::string utf8(const fs::path &path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path companionOf(const fs::path &page) {
    return page.parent_path() / fs::u8path(companionFolderName(utf8(page.stem())));
}

std::optional<std::int64_t> modifiedNs(const fs::path &file) {
    std::error_code ec;
    const auto time = fs::last_write_time(file, ec);
    if (ec)
        return std::nullopt;
    const auto since1970 = std::chrono::file_clock::to_sys(time).time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(since1970).count();
}

std::optional<std::uint64_t> contentHash(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    XXH3_state_t state;
    XXH3_64bits_reset(&state);
    std::array<char, 1 << 16> buffer;
    while (in.read(buffer.data(), buffer.size()) || in.gcount() > 0)
        XXH3_64bits_update(&state, buffer.data(), static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        return std::nullopt;
    return XXH3_64bits_digest(&state);
}

std::optional<SourceRecord> statSource(const fs::path &input) {
    std::error_code ec;
    if (!fs::is_regular_file(input, ec))
        return std::nullopt;
    SourceRecord record;
    record.size = fs::file_size(input, ec);
    const auto time = modifiedNs(input);
    if (ec || !time)
        return std::nullopt;
    record.modifiedNs = *time;
    return record;
}

} // namespace

std::optional<SourceRecord> recordSource(const std::string &input) {
    const fs::path path = nativePath(input);
    auto record = statSource(path);
    const auto hash = record ? contentHash(path) : std::nullopt;
    if (!hash)
        return std::nullopt;
    record->xxh3 = *hash;
    return record;
}

bool writeSourceMarker(const std::string &page, const SourceRecord &source) {
    const fs::path pagePath = nativePath(page);
    const fs::path folder = companionOf(pagePath);
    std::error_code ec;
    const auto pageBytes = fs::file_size(pagePath, ec);
    if (ec || !fs::is_regular_file(fs::symlink_status(folder / kExportListName, ec)))
        return false;
    const nlohmann::ordered_json marker = {
        {"format", kMarkerFormat},
        {"version", kVersionText},
        {"extension", utf8(pagePath.extension())},
        {"page_bytes", pageBytes},
        {"size", source.size},
        {"modified_ns", source.modifiedNs},
        {"xxh3", source.xxh3},
    };
    const fs::path temporary = folder / kSourceMarkerTempName;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << marker.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
        out.close();
        if (!out) {
            fs::remove(temporary, ec);
            return false;
        }
    }
    fs::rename(temporary, folder / kSourceMarkerName, ec);
    if (ec)
        fs::remove(temporary, ec);
    return !ec;
}

bool pageIsUpToDate(const std::string &input, const std::string &page) {
    const fs::path pagePath = nativePath(page);
    std::error_code ec;
    if (!fs::is_regular_file(pagePath, ec))
        return false;
    const fs::path markerPath = companionOf(pagePath) / kSourceMarkerName;
    std::ifstream in(markerPath, std::ios::binary);
    if (!in)
        return false;
    // A damaged marker (cut short, edited, of another kind) is no marker.
    const auto marker = nlohmann::json::parse(in, nullptr, false);
    if (!marker.is_object())
        return false;
    try {
        if (marker.at("format").get<int>() != kMarkerFormat ||
            marker.at("version").get<std::string>() != kVersionText ||
            marker.at("extension").get<std::string>() != utf8(pagePath.extension()) ||
            marker.at("page_bytes").get<std::uintmax_t>() != fs::file_size(pagePath))
            return false;
        const auto now = statSource(nativePath(input));
        if (!now || now->size != marker.at("size").get<std::uintmax_t>() ||
            now->modifiedNs != marker.at("modified_ns").get<std::int64_t>())
            return false;
        const auto hash = contentHash(nativePath(input));
        return hash && *hash == marker.at("xxh3").get<std::uint64_t>();
    } catch (const std::exception &) {
        return false; // a field missing or of the wrong type
    }
}

} // namespace velloran
