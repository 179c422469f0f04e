#include "win_test_support.h"

#include <fstream>
#include <stdexcept>

namespace velloran::fakes {

void writeFile(const std::string &utf8Path, const std::string &content) {
    std::ofstream out(pathOf(utf8Path), std::ios::binary);
    out << content;
    if (!out)
        throw std::runtime_error("cannot write " + utf8Path);
}

} // namespace velloran::fakes
