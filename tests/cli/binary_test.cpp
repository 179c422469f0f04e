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

struct CliCase {
    std::string name;
    std::vector<std::string> args;
    int status;        // 2 for a usage error, which goes to stderr
    std::string shown; // what the output must contain
};

void PrintTo(const CliCase &c, std::ostream *os) {
    *os << c.name;
}

class CliRuns : public ::testing::TestWithParam<CliCase> {};

TEST_P(CliRuns, ExitWithTheStatusAndSayWhatTheyShould) {
    const CliCase &c = GetParam();
    TempFolder temp;
    ChildProcess run(VELLORAN_BINARY, c.args, temp.str(), {{"XDG_CONFIG_HOME", temp / "config"}});
    EXPECT_EQ(run.wait(), c.status);
    const bool usageError = c.status == 2;
    EXPECT_NE((usageError ? run.err() : run.out()).find(c.shown), std::string::npos)
        << run.out() << run.err();
    EXPECT_EQ(usageError ? run.out() : run.err(), "");
    if (usageError) {
        EXPECT_NE(run.err().find("velloran --help"), std::string::npos) << run.err();
    }
    EXPECT_FALSE(fs::exists(temp / "config")) << "nothing was converted, so nothing written";
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliRuns,
    ::testing::Values(
        CliCase{"UnknownOption", {"convert", "--colour", "a.pptx"}, 2, "unknown option '--colour'"},
        CliCase{"MissingOutput", {"convert", "a.pptx", "--output"}, 2, "'--output' needs a value"},
        CliCase{"BadExtension", {"convert", "--extension", "pdf", "a.pptx"}, 2, "not 'pdf'"},
        CliCase{"NegativeTimeout", {"convert", "--timeout", "-1", "a.pptx"}, 2, "not '-1'"},
        CliCase{"NoPaths", {"convert", "--output", "out"}, 2, "no presentation or folder"},
        CliCase{"UnknownCommand", {"export", "a.pptx"}, 2, "unknown command 'export'"},
        CliCase{"UnknownTopOption", {"--verbose"}, 2, "unknown option '--verbose'"},
        CliCase{"ZeroJobs", {"convert", "--jobs", "0", "a.pptx"}, 2, "not '0'"},
        CliCase{"OutputIsAFile",
                {"convert", "--output", "/dev/null", "a.pptx"},
                2,
                "the output folder /dev/null"},
        CliCase{"Help", {"--help"}, 0, "Usage: velloran convert [--output DIR]"},
        CliCase{"HelpNamesTheExitStatus", {"--help"}, 0, "130 stopped by Ctrl+C"},
        CliCase{"Version", {"--version"}, 0, "Velloran 7.00\n"}),
    [](const ::testing::TestParamInfo<CliCase> &info) { return info.param.name; });

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
