#include "engines/libreoffice/uno_worker.h"

#include "engines/libreoffice/deck_wire.h"
#include "engines/libreoffice/page_reader.h"
#include "engines/libreoffice/process_supervisor.h"
#include "engines/libreoffice/reader_component.h"
#include "engines/libreoffice/slide_renderer.h"
#include "engines/libreoffice/uno_connection.h"
#include "engines/libreoffice/uno_text.h"
#include "page/file_writer.h"
#include "page/step_times.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/lang/XSingleComponentFactory.hpp>
#include <com/sun/star/loader/XImplementationLoader.hpp>
#include <com/sun/star/task/XJob.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <atomic>
#include <exception>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <sys/statvfs.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>

namespace velloran::libreoffice {

using namespace velloran::page;

namespace fs = std::filesystem;
namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::milliseconds kCloseTimeout = std::chrono::seconds(20);
constexpr std::chrono::milliseconds kReaderLoadTimeout = std::chrono::seconds(20);

std::mutex g_liveMutex;
std::vector<UnoWorker::Impl *> g_live;

// Workers start one at a time, in the order their starts were asked for: a
// start is CPU-bound, so two at once on a small machine delay the first
// page for no gain, and the first job's worker must not wait for another's.
// A start still waiting when the workers are stopped gives up rather than
// starting one after.
std::atomic<unsigned> g_stops{0};
// The second worker of a run also waits (a little) for the first worker's
// first file, which the first page is; a single worker restarting after a
// failed first file does not.
std::atomic<int> g_startsBegun{0};
std::atomic<bool> g_firstFileDone{false};
constexpr std::chrono::milliseconds kFirstPageHead{1500};

// One start's place in the line: the start before it, and the signal that
// this one is done (given when the turn is destroyed, whatever happened).
struct StartTurn {
    std::shared_future<void> before;
    std::promise<void> done;
    bool owner = false;
    StartTurn() = default;
    StartTurn(StartTurn &&other) noexcept
        : before(std::move(other.before)), done(std::move(other.done)),
          owner(std::exchange(other.owner, false)) {}
    StartTurn &operator=(StartTurn &&) = delete;
    ~StartTurn() {
        if (owner)
            done.set_value();
    }
};

StartTurn takeStartTurn() {
    static std::mutex lineMutex;
    static std::shared_future<void> last;
    StartTurn turn;
    turn.owner = true;
    std::lock_guard lock(lineMutex);
    turn.before = std::exchange(last, turn.done.get_future().share());
    return turn;
}

// Why LibreOffice may have failed to write into `folder`, when the folder
// shows it: a full disk or no permission. Empty when neither.
std::string folderProblem(const fs::path &folder) {
    struct statvfs st {};
    if (statvfs(folder.c_str(), &st) == 0 &&
        std::uint64_t(st.f_bavail) * st.f_frsize < 4u * 1024 * 1024)
        return writeFailureReason(ENOSPC);
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return writeFailureReason(errno == EROFS ? EROFS : EACCES);
    return {};
}

double liveWorkersCpu();

// Has the worker load the reader library through UNO's own shared-library
// loader and make one reader: the library is named by its path alone, so
// nothing is registered in the worker's profile or anywhere else.
Reference<css::task::XJob> loadInWorkerReader(const Reference<css::uno::XComponentContext> &remote,
                                              const fs::path &library) {
    Reference<css::loader::XImplementationLoader> loader(
        remote->getServiceManager()->createInstanceWithContext("com.sun.star.loader.SharedLibrary",
                                                               remote),
        UNO_QUERY_THROW);
    Reference<css::lang::XSingleComponentFactory> factory(
        loader->activate(rtl::OUString::createFromAscii(kReaderImplementation), "",
                         fileUrl(library), {}),
        UNO_QUERY_THROW);
    return Reference<css::task::XJob>(factory->createInstanceWithContext(remote), UNO_QUERY_THROW);
}

// The deck read by the reader inside the worker, in one call.
Deck readInWorker(const Reference<css::task::XJob> &reader,
                  const Reference<css::lang::XComponent> &document) {
    const css::beans::NamedValue argument(rtl::OUString::createFromAscii(kReaderDocumentArgument),
                                          css::uno::Any(document));
    const css::uno::Sequence<css::beans::NamedValue> arguments(&argument, 1);
    css::uno::Sequence<sal_Int8> bytes;
    if (!(reader->execute(arguments) >>= bytes))
        throw std::runtime_error("the deck read inside LibreOffice came back as something else");
    return decodeDeck(reinterpret_cast<const std::uint8_t *>(bytes.getConstArray()),
                      std::size_t(bytes.getLength()));
}

AutomationError couldNotSave(const std::string &displayName, const CallFailure &f) {
    return AutomationError("LibreOffice could not save " + displayName + " as a web page (" +
                           f.message + ").");
}

} // namespace

struct UnoWorker::Impl {
    struct Document {
        Reference<css::lang::XComponent> component;
        Clock::time_point deadline; // the file's time limit, counted from Open
    };

    EngineOptions options;
    mutable std::timed_mutex mutex;
    std::map<DocId, Document> documents;
    // Whether documents holds any: read by other workers without our lock
    // to share the spare cores among the workers that have a file.
    std::atomic<bool> busy{false};
    std::set<std::string> fonts; // what the running worker can draw with
    bool fontsKnown = false;
    // The reader inside the running worker; unset: the deck is read over the
    // bridge. A library that would not load is not tried again.
    Reference<css::task::XJob> reader;
    bool readerRefused = false;
    UnoConnection connection;
    DocId nextDoc = 1;
    int filesSinceStart = 0;
    std::exception_ptr startFailure;  // of the start in the background, for the next open()
    std::shared_future<void> starter; // the start in the background

    explicit Impl(EngineOptions o)
        : options(std::move(o)), connection(options, [this] {
              documents.clear();
              busy = false;
              fonts.clear();
              fontsKnown = false;
              reader.clear();
          }) {
        std::lock_guard lock(g_liveMutex);
        g_live.push_back(this);
        setWorkerCpuClock(liveWorkersCpu);
    }

    ~Impl() {
        {
            std::lock_guard lock(g_liveMutex);
            std::erase(g_live, this);
        }
        if (starter.valid())
            starter.wait();
        connection.stop();
    }

    static bool otherWorkers() {
        std::lock_guard lock(g_liveMutex);
        return g_live.size() > 1;
    }

    // Called with the lock held.
    void startWorker(StartTurn turn = takeStartTurn()) {
        const unsigned stops = g_stops;
        const auto giveUpIfStopped = [&] {
            if (g_stops != stops)
                throw AutomationError("LibreOffice was stopped before it could start.");
        };
        if (turn.before.valid())
            while (turn.before.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
                giveUpIfStopped();
        if (g_startsBegun++ == 1 && otherWorkers())
            for (const auto until = Clock::now() + kFirstPageHead;
                 !g_firstFileDone && Clock::now() < until;)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        giveUpIfStopped();
        StepTimer timer("start");
        connection.start();
        filesSinceStart = 0;
        loadReader();
    }

    // Called with the lock held, on a worker just started.
    void loadReader() {
        std::error_code ec;
        if (readerRefused || options.inWorkerReader.empty() ||
            !fs::is_regular_file(options.inWorkerReader, ec))
            return;
        try {
            connection.guarded(Activity::Starting, "LibreOffice", kReaderLoadTimeout, [&] {
                reader = loadInWorkerReader(connection.remoteContext(), options.inWorkerReader);
            });
        } catch (const CallFailure &) {
            readerRefused = true;
        } catch (const AutomationError &) {
            // Loading it took the worker down: a fresh one reads over the
            // bridge.
            readerRefused = true;
            connection.start();
        }
    }

    void recycleIfDue() {
        if (!connection.running() || !documents.empty())
            return;
        if (filesSinceStart >= options.restartAfterFiles ||
            connection.process().residentBytes() > options.memoryCapBytes)
            connection.stop();
    }

    void closeDocument(DocId id, const std::string &name) {
        auto it = documents.find(id);
        if (it == documents.end())
            return;
        auto component = it->second.component;
        documents.erase(it);
        g_firstFileDone = true;
        busy = !documents.empty();
        if (!connection.running())
            return;
        try {
            connection.guarded(Activity::Closing, name, kCloseTimeout, [&] {
                Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
                if (closeable.is())
                    closeable->close(true);
                else
                    component->dispose();
            });
        } catch (...) {
            // A document that will not close is left to the next restart.
        }
    }

    const Document &document(DocId id, const std::string &name) {
        auto it = documents.find(id);
        if (it == documents.end())
            throw AutomationError(
                "The presentation " + name +
                " is no longer open (LibreOffice was restarted or it was closed).");
        return it->second;
    }

    // Runs `body` within the time left to the document's file.
    void withinFileLimit(const Document &doc, Activity activity, const std::string &name,
                         const std::function<void()> &body) {
        connection.guarded(activity, name, doc.deadline, options.fileTimeout, body);
    }
};

namespace {

// The CPU seconds of every running worker, for the step record.
double liveWorkersCpu() {
    std::lock_guard lock(g_liveMutex);
    double seconds = 0;
    for (auto *impl : g_live)
        seconds += cpuSecondsOf(impl->connection.process().visiblePid());
    return seconds;
}

// The encoder threads a worker's drawing may use now: the cores that the
// workers of this process with a file open leave over, shared among them.
// Asked again for every slide, so that the last deck of a batch gets the
// cores the workers that are done no longer use.
int encoderThreads() {
    int workers = 0;
    {
        std::lock_guard lock(g_liveMutex);
        for (const auto *impl : g_live)
            workers += impl->busy ? 1 : 0;
    }
    return encoderThreadsPerWorker(int(std::max(1u, std::thread::hardware_concurrency())),
                                   std::max(workers, 1));
}

} // namespace

UnoWorker::UnoWorker(EngineOptions options) : m_impl(std::make_unique<Impl>(std::move(options))) {}

UnoWorker::~UnoWorker() = default;

void UnoWorker::startInBackground() {
    std::lock_guard lock(m_impl->mutex);
    auto &m = *m_impl;
    if (m.connection.running() || m.starter.valid())
        return;
    // The place in the line is taken here, on the caller's thread, so that
    // workers start in the order they were asked for.
    m.starter = std::async(std::launch::async, [&m, turn = takeStartTurn()]() mutable {
        std::lock_guard lock(m.mutex);
        if (m.connection.running())
            return;
        try {
            m.startWorker(std::move(turn));
        } catch (...) {
            m.startFailure = std::current_exception();
        }
    });
}

UnoWorker::DocId UnoWorker::open(const fs::path &file, const std::string &displayName) {
    std::unique_lock lock(m_impl->mutex);
    auto &m = *m_impl;
    auto &connection = m.connection;
    if (auto started = std::exchange(m.starter, {}); started.valid()) {
        // The start in the background needs the lock to finish.
        lock.unlock();
        started.wait();
        lock.lock();
    }
    if (auto failure = std::exchange(m.startFailure, nullptr))
        std::rethrow_exception(failure);
    // A worker that died or stopped answering between files (killed, out of
    // memory, still exiting) is replaced here rather than failing the next
    // file, which has nothing to do with it.
    if (connection.running() && !connection.processEnded(std::chrono::seconds(0)) &&
        !connection.bridgeAlive())
        connection.killAndReap();
    m.recycleIfDue();
    if (!connection.running())
        m.startWorker();

    auto props = properties({
        prop("Hidden", css::uno::Any(true)),
        prop("ReadOnly", css::uno::Any(true)),
        // No interaction handler: a password prompt or a repair question
        // fails the load instead of waiting for an answer nobody gives.
        prop("UpdateDocMode", css::uno::Any(css::document::UpdateDocMode::NO_UPDATE)),
        prop("MacroExecutionMode", css::uno::Any(css::document::MacroExecMode::NEVER_EXECUTE)),
    });
    const auto url = fileUrl(file);
    Impl::Document doc{{}, Clock::now() + m.options.fileTimeout};
    ++m.filesSinceStart;
    try {
        m.withinFileLimit(doc, Activity::Opening, displayName, [&] {
            StepTimer timer("load");
            doc.component = connection.desktop()->loadComponentFromURL(url, "_blank", 0, props);
        });
    } catch (const CallFailure &) {
        doc.component.clear();
    }
    if (!doc.component.is())
        throw AutomationError(
            "LibreOffice could not open " + displayName +
            ": the file is damaged, or it is not a presentation in a format LibreOffice can read.");

    const DocId id = m.nextDoc++;
    m.documents.emplace(id, doc);
    m.busy = true;

    bool presentation = false;
    std::string kind = "a document of another kind";
    try {
        m.withinFileLimit(doc, Activity::Opening, displayName, [&] {
            Reference<css::lang::XServiceInfo> info(doc.component, UNO_QUERY_THROW);
            presentation = info->supportsService("com.sun.star.presentation.PresentationDocument");
            if (info->supportsService("com.sun.star.sheet.SpreadsheetDocument"))
                kind = "a spreadsheet";
            else if (info->supportsService("com.sun.star.text.TextDocument"))
                kind = "a text document";
            else if (info->supportsService("com.sun.star.drawing.DrawingDocument"))
                kind = "a drawing";
        });
    } catch (const CallFailure &) {
    }
    if (!presentation) {
        m.closeDocument(id, displayName);
        throw AutomationError(displayName + " is not a presentation (LibreOffice opened it as " +
                              kind + ").");
    }
    return id;
}

int UnoWorker::slideCount(DocId id, const std::string &displayName) {
    std::lock_guard lock(m_impl->mutex);
    auto &m = *m_impl;
    const auto doc = m.document(id, displayName);
    int count = 0;
    try {
        m.withinFileLimit(doc, Activity::Counting, displayName, [&] {
            Reference<css::drawing::XDrawPagesSupplier> pages(doc.component, UNO_QUERY_THROW);
            count = pages->getDrawPages()->getCount();
        });
    } catch (const CallFailure &f) {
        throw AutomationError("The slides of " + displayName +
                              " could not be counted: " + f.message);
    }
    return count;
}

// Reading the deck and drawing it both count as saving: that is the call
// the caller made, and what a timeout or crash message names.
Deck UnoWorker::readDeck(DocId id, const std::string &displayName) {
    std::lock_guard lock(m_impl->mutex);
    auto &m = *m_impl;
    const auto doc = m.document(id, displayName);
    Deck deck;
    try {
        m.withinFileLimit(doc, Activity::Saving, displayName, [&] {
            deck = m.reader.is() ? readInWorker(m.reader, doc.component)
                                 : libreoffice::readDeck(doc.component);
        });
    } catch (const CallFailure &f) {
        throw couldNotSave(displayName, f);
    }
    return deck;
}

std::set<std::string> UnoWorker::installedFonts(DocId id, const std::string &displayName) {
    std::lock_guard lock(m_impl->mutex);
    auto &m = *m_impl;
    if (!m.fontsKnown) {
        const auto doc = m.document(id, displayName);
        try {
            m.withinFileLimit(doc, Activity::Saving, displayName, [&] {
                m.fonts = libreoffice::installedFonts(m.connection.remoteContext());
            });
        } catch (const CallFailure &f) {
            throw couldNotSave(displayName, f);
        }
        m.fontsKnown = true;
    }
    return m.fonts;
}

void UnoWorker::drawSlides(DocId id, Deck &deck, const fs::path &folder,
                           const std::string &pageName, const std::string &displayName) {
    std::lock_guard lock(m_impl->mutex);
    auto &m = *m_impl;
    const auto doc = m.document(id, displayName);
    try {
        m.withinFileLimit(doc, Activity::Saving, displayName, [&] {
            renderSlides(m.connection.remoteContext(), doc.component, folder, deck, pageName,
                         encoderThreads);
        });
    } catch (const CallFailure &f) {
        const std::string problem = folderProblem(folder);
        if (!problem.empty())
            throw AutomationError("The page for " + displayName +
                                  " could not be written: " + problem + ".");
        throw couldNotSave(displayName, f);
    }
}

void UnoWorker::close(DocId id) {
    std::lock_guard lock(m_impl->mutex);
    m_impl->closeDocument(id, "the presentation");
}

bool UnoWorker::isOpen(DocId id) const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->documents.count(id) != 0;
}

void UnoWorker::stop() {
    std::lock_guard lock(m_impl->mutex);
    m_impl->connection.stop();
}

pid_t UnoWorker::workerPid() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->connection.process().pid();
}

void stopAllWorkers() {
    ++g_stops;
    std::lock_guard live(g_liveMutex);
    for (auto *impl : g_live) {
        // A call in progress holds the worker's lock; kill the process then,
        // which makes that call fail at once.
        std::unique_lock lock(impl->mutex, std::defer_lock);
        if (lock.try_lock_for(std::chrono::seconds(2)))
            impl->connection.stop();
        else
            killProcessGroup(impl->connection.process().visiblePid());
    }
}

} // namespace velloran::libreoffice
