#include "cli/report.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <system_error>

#include "core/output_layout.h"
#include "core/text.h"

namespace velloran {

namespace {

using Json = nlohmann::ordered_json;

// A name that is not valid UTF-8 also goes out as its exact bytes, so that a
// reader can find the file; the text form is only for showing.
void addName(Json &line, const char *field, const std::string &name) {
    line[field] = name;
    if (!isValidUtf8(name))
        line[std::string(field) + "_bytes"] = std::vector<unsigned char>(name.begin(), name.end());
}

template <typename T> Json orNull(const std::optional<T> &value) {
    return value ? Json(*value) : Json(nullptr);
}

} // namespace

std::string reportLine(const FileReport &report) {
    Json line = Json::object();
    addName(line, "input", report.input);
    addName(line, "page", report.page);
    line["status"] = report.status;
    line["reason"] = report.reason;
    line["seconds"] = report.seconds;
    line["slides"] = orNull(report.slides);
    line["bytes"] = orNull(report.bytes);
    line["worker"] = orNull(report.worker);
    line["errors"] = report.errors;
    // ensure_ascii off: UTF-8 stays readable; control characters, quotes and
    // backslashes are escaped by the library.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::uintmax_t> bytesOfPage(const std::string &page) {
    namespace fs = std::filesystem;
    const fs::path path = fs::u8path(page);
    std::error_code ec;
    std::uintmax_t total = fs::file_size(path, ec);
    if (ec)
        return std::nullopt;
    const auto stem = path.stem().u8string();
    const fs::path folder =
        path.parent_path() / fs::u8path(companionFolderName(std::string(stem.begin(), stem.end())));
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sizeEc;
        if (it->is_regular_file(sizeEc))
            total += it->file_size(sizeEc);
    }
    return total;
}

} // namespace velloran
