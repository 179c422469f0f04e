// The one place the configured LibreOffice folder enters the code, in a
// translation unit of its own so that a test can build it again with
// another folder.

#include "engines/libreoffice/office_engine.h"

#ifndef VELLORAN_LIBREOFFICE_PROGRAM_DIR
#error "VELLORAN_LIBREOFFICE_PROGRAM_DIR must name the LibreOffice program folder"
#endif

namespace velloran::libreoffice {

std::filesystem::path configuredProgramDir() {
    return VELLORAN_LIBREOFFICE_PROGRAM_DIR;
}

} // namespace velloran::libreoffice
