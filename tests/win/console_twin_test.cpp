#include <gtest/gtest.h>

#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;

// "velloran-cli convert" against the fake server: one deck converts, one is
// missing, so the run reports it, prints the summary and exits 1.
TEST(ConsoleTwin, ConvertPrintsTheSummaryAndExitsOneWhenAFileFails) {
    fakes::WinTempFolder tmp;
    const std::string good = tmp / "good deck.pptx";
    fakes::writeFile(good);
    const DWORD status =
        fakes::runBeside(L"velloran-cli.exe",
                         L"convert --output \"" + toWide(tmp / "out") + L"\" \"" + toWide(good) +
                             L"\" \"" + toWide(tmp / "missing.pptx") + L"\"",
                         tmp / "run", 60);
    const std::string out = fakes::readFile(tmp / "run.out"),
                      err = fakes::readFile(tmp / "run.err");
    EXPECT_EQ(status, 1u) << out << err;
    EXPECT_NE(out.find("1 converted, 1 failed"), std::string::npos) << out;
    EXPECT_NE(err.find("missing.pptx cannot be opened"), std::string::npos) << err;
    EXPECT_TRUE(std::filesystem::exists(pathOf(tmp / "out\\good deck.htm")));
}
