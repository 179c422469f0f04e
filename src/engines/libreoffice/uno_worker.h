#pragma once

#include "engines/libreoffice/office_engine.h"
#include "page/deck_model.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velloran::libreoffice {

// The documents opened in one soffice.bin worker, and what is done with them.
//
// The worker is started on demand, recycled after a number of files or when
// it grows too large, and killed when a file outlives its time limit: the
// limit runs from Open and covers everything done with the file until it is
// closed. Document ids stay unique across restarts, so an id from a worker
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

    // Starts the worker process on a thread of its own, so that it is ready
    // by the first open(); open() waits for it and reports a start that
    // failed. Does nothing when a worker runs or is starting.
    void startInBackground();

    // Loads `file` (an absolute path) hidden and read-only. `displayName` names
    // the file in error messages. Fails unless it is a presentation.
    DocId open(const std::filesystem::path &file, const std::string &displayName);

    // Number of slides in an open document.
    int slideCount(DocId id, const std::string &displayName);

    // What the page shows of an open document (page::DeckEngine::readDeck).
    page::Deck readDeck(DocId id, const std::string &displayName);

    // The font families the running worker draws with; asked once per worker.
    std::set<std::string> installedFonts(DocId id, const std::string &displayName);

    // Draws the slides of an open document into `folder`
    // (page::DeckEngine::drawSlides). A failure that the folder explains (a
    // full disk, no permission) says so.
    void drawSlides(DocId id, page::Deck &deck, const std::filesystem::path &folder,
                    const std::string &pageName, const std::string &displayName);

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

} // namespace velloran::libreoffice
