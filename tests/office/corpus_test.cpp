// Every file of the shared corpus either converts completely or fails with a
// clear description, within the per-file time limit.

#include "office/office_engine.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

namespace velloran::office::test {
namespace {

using ::testing::HasSubstr;

struct ManifestEntry {
    std::string file;
    std::string category;
};

std::vector<ManifestEntry> readManifest(const fs::path &manifest) {
    std::ifstream in(manifest);
    std::string line;
    std::vector<std::string> header;
    std::vector<ManifestEntry> entries;
    auto split = [](const std::string &l) {
        std::vector<std::string> cells;
        std::stringstream s(l);
        std::string cell;
        while (std::getline(s, cell, '\t'))
            cells.push_back(cell);
        return cells;
    };
    if (!std::getline(in, line))
        return entries;
    header = split(line);
    auto column = [&](const char *name) {
        for (std::size_t i = 0; i < header.size(); ++i)
            if (header[i] == name)
                return i;
        return header.size();
    };
    const std::size_t fileCol = column("file"), categoryCol = column("category");
    while (std::getline(in, line)) {
        auto cells = split(line);
        if (fileCol < cells.size() && categoryCol < cells.size() && !cells[fileCol].empty())
            entries.push_back({cells[fileCol], cells[categoryCol]});
    }
    return entries;
}

TEST(CorpusTest, EveryFileConvertsOrFailsClearly) {
    const fs::path corpus = corpusDir();
    if (corpus.empty())
        GTEST_SKIP() << "shared corpus not found beside the checkout";
    const auto entries = readManifest(corpus / "MANIFEST.tsv");
    ASSERT_FALSE(entries.empty()) << "MANIFEST.tsv lists no files";

    const EngineOptions options; // the production time limit
    auto registry = makeOfficeRegistry(options);
    TempDir out;
    struct Tally {
        int converted = 0, failed = 0;
    };
    std::map<std::string, Tally> tally;
    double total = 0, slowest = 0;
    std::string slowestFile;

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto &entry = entries[i];
        SCOPED_TRACE(entry.file);
        const fs::path input = corpus / entry.file;
        ASSERT_TRUE(fs::exists(input)) << "listed in MANIFEST.tsv but missing";
        // Numbered pages: corpus names differ only by extension in places.
        const fs::path page = out / ("deck" + std::to_string(i) + ".htm");

        const auto start = std::chrono::steady_clock::now();
        Conversion c = convert(*registry, input, page);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        total += seconds;
        if (seconds > slowest) {
            slowest = seconds;
            slowestFile = entry.file;
        }

        if (c.ok) {
            ++tally[entry.category].converted;
            ASSERT_TRUE(fs::is_regular_file(page));
            EXPECT_GT(fs::file_size(page), 0u);
            const auto images =
                namesMatching(out / ("deck" + std::to_string(i) + "_files"), R"(slide-\d+\.webp)");
            EXPECT_EQ(int(images.size()), c.slides) << "one image per slide";
            EXPECT_EQ(brokenLinks(page), std::vector<std::string>{});
            std::printf("[corpus] %-10s converted %5.2f s %3d slides  %s\n", entry.category.c_str(),
                        seconds, c.slides, entry.file.c_str());
        } else {
            ++tally[entry.category].failed;
            EXPECT_THAT(c.error, HasSubstr(entry.file)) << "the description names the file";
            EXPECT_THAT(c.error, ::testing::Not(HasSubstr("unknown")));
            EXPECT_FALSE(fs::exists(page));
            std::printf("[corpus] %-10s failed    %5.2f s  %s: %s\n", entry.category.c_str(),
                        seconds, entry.file.c_str(), c.error.c_str());
        }
        // Encrypted decks cannot be converted without their password, and
        // the user must be told that this is the reason.
        if (entry.category == "encrypted") {
            EXPECT_FALSE(c.ok);
            EXPECT_THAT(c.error, HasSubstr("password"));
        }
        // Everything that is not damaged or encrypted is readable by
        // LibreOffice and must convert.
        if (entry.category == "normal" || entry.category == "legacy" || entry.category == "odd") {
            EXPECT_TRUE(c.ok) << c.error;
        }
    }

    for (const auto &[category, t] : tally)
        std::printf("[corpus] category %-10s %2d converted, %2d failed\n", category.c_str(),
                    t.converted, t.failed);
    std::printf("[corpus] %zu files in %.1f s (mean %.2f s, slowest %.2f s: %s)\n", entries.size(),
                total, total / double(entries.size()), slowest, slowestFile.c_str());
    std::fflush(stdout);
}

} // namespace
} // namespace velloran::office::test
