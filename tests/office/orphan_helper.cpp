// Converts one deck, prints "worker <pid>" and waits to be killed. The fault
// tests kill this process with SIGKILL and check that its worker goes too.

#include "office/office_engine.h"
#include "test_support.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv) {
    using namespace velloran::office;
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DECK PAGE\n", argv[0]);
        return 2;
    }
    auto registry = makeOfficeRegistry();
    test::Conversion c = test::convert(*registry, argv[1], argv[2]);
    if (!c.ok) {
        std::fprintf(stderr, "%s\n", c.error.c_str());
        return 1;
    }
    std::printf("worker %ld\n", long(test::theWorker()));
    std::fflush(stdout);
    for (;;)
        pause();
}
