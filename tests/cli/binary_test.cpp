// The real executable's usage errors, help, version and output-folder
// default. None of these start LibreOffice.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "child_process.h"
#include "temp_folder.h"

using velloran::fakes::TempFolder;
using velloran::testing::ChildProcess;
namespace fs = std::filesystem;

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
    ChildProcess run(VELLORAN_BINARY, GetParam().args, temp.str(),
                     {{"XDG_CONFIG_HOME", temp / "config"}});
    EXPECT_EQ(run.wait(), 2);
    EXPECT_NE(run.err().find(GetParam().problem), std::string::npos) << run.err();
    EXPECT_NE(run.err().find("velloran --help"), std::string::npos) << run.err();
    EXPECT_EQ(run.out(), "");
    EXPECT_FALSE(fs::exists(temp / "config")) << "nothing was converted, so nothing written";
}

INSTANTIATE_TEST_SUITE_P(
    Cli, UsageErrors,
    ::testing::Values(
        UsageCase{"UnknownOption", {"convert", "--colour", "a.pptx"}, "unknown option '--colour'"},
        UsageCase{"MissingOutput", {"convert", "a.pptx", "--output"}, "'--output' needs a value"},
        UsageCase{"BadExtension", {"convert", "--extension", "pdf", "a.pptx"}, "not 'pdf'"},
        UsageCase{"NegativeTimeout", {"convert", "--timeout", "-1", "a.pptx"}, "not '-1'"},
        UsageCase{"NoPaths", {"convert", "--output", "out"}, "no presentation or folder"},
        UsageCase{"UnknownCommand", {"export", "a.pptx"}, "unknown command 'export'"},
        UsageCase{"UnknownTopOption", {"--verbose"}, "unknown option '--verbose'"},
        UsageCase{"ZeroJobs", {"convert", "--jobs", "0", "a.pptx"}, "not '0'"},
        UsageCase{"OutputIsAFile",
                  {"convert", "--output", "/dev/null", "a.pptx"},
                  "the output folder /dev/null"}),
    [](const ::testing::TestParamInfo<UsageCase> &info) { return info.param.name; });

TEST(Cli, HelpAndVersion) {
    TempFolder temp;
    ChildProcess help(VELLORAN_BINARY, {"--help"}, temp.str());
    EXPECT_EQ(help.wait(), 0);
    EXPECT_NE(help.out().find("Usage: velloran convert [--output DIR] [--extension htm|html] "
                              "[--timeout SECONDS]\n                        [--jobs N] PATH..."),
              std::string::npos)
        << help.out();
    EXPECT_NE(help.out().find("130 stopped by Ctrl+C"), std::string::npos) << help.out();
    EXPECT_EQ(help.err(), "");
    ChildProcess version(VELLORAN_BINARY, {"--version"}, temp.str());
    EXPECT_EQ(version.wait(), 0);
    EXPECT_EQ(version.out(), "Velloran 7.00\n");
}

TEST(Cli, UsesTheWindowsStoredFolderWithoutChangingIt) {
    TempFolder temp;
    const std::string stored = temp / "stored pages";
    const std::string settingsFile = temp / "config/Corvane/Velloran.conf";
    const std::string settings = "[Velloran]\nText1=" + stored + "\n";
    fs::create_directories(temp / "config/Corvane");
    std::ofstream(settingsFile) << settings;

    // A missing input fails without starting any office program, but the
    // output folder is settled (and created) first.
    ChildProcess run(VELLORAN_BINARY, {"convert", "missing.pptx"}, temp.str(),
                     {{"XDG_CONFIG_HOME", temp / "config"}});
    EXPECT_EQ(run.wait(), 1) << run.err();
    EXPECT_EQ(run.out(), "0 converted, 1 failed\n");
    EXPECT_TRUE(fs::is_directory(stored)) << run.err();
    std::stringstream text;
    text << std::ifstream(settingsFile).rdbuf();
    EXPECT_EQ(text.str(), settings);
}
