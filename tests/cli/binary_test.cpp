// The real executable's usage errors, help, version and output-folder
// default. None of these start LibreOffice.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "temp_folder.h"

using velloran::fakes::TempFolder;
using velloran::testing::runProgram;
namespace fs = std::filesystem;

namespace {

std::string readAll(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

struct UsageCase {
    std::string name;
    std::vector<std::string> args;
    std::string problem; // what the message must name
};

void PrintTo(const UsageCase &c, std::ostream *os) {
    *os << c.name;
}

class UsageErrors : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, ExitWithStatus2AndNameTheProblem) {
    TempFolder temp;
    const auto run = runProgram(VELLORAN_BINARY, GetParam().args, temp.str(),
                                {{"XDG_CONFIG_HOME", temp / "config"}});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find(GetParam().problem), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("velloran --help"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    // Nothing was converted, so nothing was written either.
    EXPECT_FALSE(fs::exists(temp / "config"));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, UsageErrors,
    ::testing::Values(
        UsageCase{"UnknownOption", {"convert", "--colour", "a.pptx"}, "unknown option '--colour'"},
        UsageCase{"MissingOutput", {"convert", "a.pptx", "--output"}, "'--output' needs a value"},
        UsageCase{"BadExtension", {"convert", "--extension", "pdf", "a.pptx"}, "not 'pdf'"},
        UsageCase{"NegativeTimeout", {"convert", "--timeout", "-1", "a.pptx"}, "not '-1'"},
        UsageCase{"WordTimeout", {"convert", "--timeout=abc", "a.pptx"}, "not 'abc'"},
        UsageCase{"NoPaths", {"convert", "--output", "out"}, "no presentation or folder"},
        UsageCase{"UnknownCommand", {"export", "a.pptx"}, "unknown command 'export'"},
        UsageCase{"UnknownTopOption", {"--verbose"}, "unknown option '--verbose'"},
        UsageCase{"ZeroJobs", {"convert", "--jobs", "0", "a.pptx"}, "not '0'"},
        UsageCase{"OutputIsAFile",
                  {"convert", "--output", "/dev/null", "a.pptx"},
                  "the output folder /dev/null"}),
    [](const ::testing::TestParamInfo<UsageCase> &info) { return info.param.name; });

TEST(Cli, HelpDescribesTheCommandAndTheExitStatus) {
    TempFolder temp;
    const auto run = runProgram(VELLORAN_BINARY, {"--help"}, temp.str());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: velloran convert [--output DIR] [--extension htm|html] "
                           "[--timeout SECONDS]\n                        [--jobs N] PATH..."),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("130 stopped by Ctrl+C"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "");
}

TEST(Cli, VersionPrintsNameAndVersion) {
    TempFolder temp;
    const auto run = runProgram(VELLORAN_BINARY, {"--version"}, temp.str());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Velloran 7.00\n");
}

TEST(Cli, UsesTheWindowsStoredFolderWithoutChangingIt) {
    TempFolder temp;
    const std::string stored = temp / "stored pages";
    const std::string settingsFile = temp / "config/Corvane/Velloran.conf";
    fs::create_directories(temp / "config/Corvane");
    const std::string settings = "[Velloran]\nText1=" + stored + "\n";
    std::ofstream(settingsFile) << settings;

    // A missing input fails without starting any office program, but the
    // output folder is settled (and created) first.
    const auto run = runProgram(VELLORAN_BINARY, {"convert", "missing.pptx"}, temp.str(),
                                {{"XDG_CONFIG_HOME", temp / "config"}});
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "0 converted, 1 failed\n");
    EXPECT_TRUE(fs::is_directory(stored)) << run.err;
    EXPECT_EQ(readAll(settingsFile), settings);
}
