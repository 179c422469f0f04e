#pragma once

#include "office/office_engine.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>

namespace velloran::office {

// One soffice.bin worker process, reached over a private UNO pipe, and the
// documents opened in it.
//
// The process is started on demand, recycled after a number of files or when
// it grows too large, and killed when a call outlives the per-file time
// limit. Document ids stay unique across restarts, so an id from a worker
// that has since died is simply "not open".
//
// Every failure is thrown as AutomationError with a description for the user.
// All members are thread-safe; calls are serialised.
class UnoWorker {
public:
    using DocId = std::uint64_t;

    explicit UnoWorker(EngineOptions options);
    ~UnoWorker();

    UnoWorker(const UnoWorker &) = delete;
    UnoWorker &operator=(const UnoWorker &) = delete;

    // Loads `file` (an absolute path) hidden and read-only. `displayName` names
    // the file in error messages. Fails unless it is a presentation.
    DocId open(const std::filesystem::path &file, const std::string &displayName);

    // Number of slides in an open document.
    int slideCount(DocId id, const std::string &displayName);

    // Exports the document as HTML pages with one PNG image per slide. The
    // main page is written to `mainPage`; the export puts its companion
    // files (fixed names such as img0.png, text0.html) beside it.
    void exportHtml(DocId id, const std::filesystem::path &mainPage,
                    const std::string &displayName);

    // Closes a document. Never fails: a document in a worker that died is
    // already gone.
    void close(DocId id);

    bool isOpen(DocId id) const;

    // Ends the worker process (politely first, then SIGKILL). Idempotent.
    void stop();

    // The worker's process id, or -1 when none runs.
    pid_t workerPid() const;

    struct Impl; // opaque; public so that stopAllWorkers() can reach every instance

private:
    std::unique_ptr<Impl> m_impl;
};

// Stops the worker of every UnoWorker alive in this process. Registered to
// run at exit once the UNO runtime is up.
void stopAllWorkers();

} // namespace velloran::office
