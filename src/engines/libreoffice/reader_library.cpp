// Where the engine finds the library that reads decks inside the worker:
// beside the program, at the same place relative to the executable in the
// build tree and once installed.

#include "engines/libreoffice/office_engine.h"
#include "engines/libreoffice/reader_component.h"

#include <system_error>

#ifndef VELLORAN_READER_DIR_FROM_BIN
#error "VELLORAN_READER_DIR_FROM_BIN must name the reader's folder relative to the executable's"
#endif

namespace velloran::libreoffice {

std::filesystem::path defaultInWorkerReader() {
    std::error_code ec;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return (executable.parent_path() / VELLORAN_READER_DIR_FROM_BIN / kReaderLibraryFile)
        .lexically_normal();
}

} // namespace velloran::libreoffice
