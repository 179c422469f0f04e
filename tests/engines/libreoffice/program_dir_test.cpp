// Built with the engine's program folder configured elsewhere: the engine
// looks for LibreOffice in the configured folder, not in the usual one.

#include "engines/libreoffice/office_engine.h"
#include "page_files.h"

#include <gtest/gtest.h>

namespace velloran::libreoffice::test {

using namespace velloran::test;
namespace {

TEST(ProgramDir, TheEngineRunsTheConfiguredFolder) {
    const fs::path program = fs::path(VELLORAN_LIBREOFFICE_PROGRAM_DIR) / "soffice.bin";
    EXPECT_THAT(
        [] { makeOfficeRegistry()->create("PowerPoint.Application"); },
        throwsError("LibreOffice is not installed: " + program.string() + " was not found"));
}

} // namespace
} // namespace velloran::libreoffice::test
