#include "engines/libreoffice/office_engine.h"

#include "core/export.h"
#include "core/text.h"

#include "engines/libreoffice/path_alias.h"
#include "engines/libreoffice/uno_connection.h"
#include "engines/libreoffice/uno_text.h"
#include "engines/libreoffice/uno_worker.h"
#include "page/pipeline.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <unistd.h>

namespace velloran::libreoffice {

using namespace velloran::page;

const char *const kEngineName = "Velloran Office Engine (LibreOffice)";

namespace fs = std::filesystem;

namespace {

[[noreturn]] void unknownMember(const std::string &member) {
    throw AutomationError("Unknown member '" + member + "'");
}

// Named arguments are matched without regard to case, as IDispatch does.
const Variant *findArg(const NamedArgs &args, std::string_view name) {
    for (const auto &[argName, value] : args)
        if (equalsIgnoringCase(argName, name))
            return &value;
    return nullptr;
}

void rejectUnknownArgs(const std::string &method, const NamedArgs &args,
                       std::initializer_list<std::string_view> known) {
    for (const auto &arg : args) {
        bool ok = std::any_of(known.begin(), known.end(),
                              [&](std::string_view k) { return equalsIgnoringCase(arg.first, k); });
        if (!ok)
            throw AutomationError(method + ": unknown argument '" + arg.first + "'");
    }
}

std::string requiredString(const std::string &method, const NamedArgs &args,
                           std::string_view name) {
    const Variant *v = findArg(args, name);
    if (!v || std::holds_alternative<std::monostate>(*v))
        throw AutomationError(method + ": argument '" + std::string(name) + "' is missing");
    return asString(*v, method + " " + std::string(name));
}

// Visible and similar flags arrive as Booleans or as MsoTriState numbers.
bool flagValue(const Variant &v, const std::string &what) {
    if (const auto *i = std::get_if<std::int32_t>(&v))
        return *i != 0;
    return asBool(v, what);
}

// The file URL of a folder, ending in '/', as LibreOffice writes the links
// it made absolute.
std::string folderUrl(const fs::path &folder) {
    std::string url;
    try {
        url = toUtf8(fileUrl(folder));
    } catch (const AutomationError &) {
        return {};
    }
    return url.ends_with('/') ? url : url + "/";
}

fs::path absolutePath(const std::string &path) {
    std::error_code ec;
    fs::path p = fs::absolute(fs::path(path), ec);
    return ec ? fs::path(path) : p.lexically_normal();
}

// Every object handed out. Whatever goes wrong inside reaches the caller as
// AutomationError, never as another exception type.
class EngineObject : public AutoObject {
public:
    Variant get(const std::string &member) final {
        return guard([&] { return doGet(member); });
    }
    void put(const std::string &member, const Variant &value) final {
        guard([&] {
            doPut(member, value);
            return Variant{};
        });
    }
    Variant call(const std::string &member, const NamedArgs &args) final {
        return guard([&] { return doCall(member, args); });
    }

protected:
    virtual Variant doGet(const std::string &member) = 0;
    virtual void doPut(const std::string &member, const Variant &) { unknownMember(member); }
    virtual Variant doCall(const std::string &member, const NamedArgs &) { unknownMember(member); }

private:
    template <class F> static Variant guard(F &&f) {
        try {
            return f();
        } catch (const AutomationError &) {
            throw;
        } catch (const std::exception &e) {
            throw AutomationError(std::string("Internal error in the LibreOffice engine: ") +
                                  e.what());
        } catch (...) {
            throw AutomationError("Internal error in the LibreOffice engine.");
        }
    }
};

// An open presentation as the Application keeps track of it.
struct OpenDocument {
    UnoWorker::DocId id;
    fs::path path;
    std::string name;
    bool closed = false;
    // The name LibreOffice reads the file by, kept until it is closed: it may
    // read parts of the file again while the document is open.
    std::unique_ptr<PathAlias> alias;
};

// The page pipeline's view of one open presentation in the worker.
class DocumentEngine : public DeckEngine {
public:
    DocumentEngine(UnoWorker &worker, const OpenDocument &doc) : m_worker(worker), m_doc(doc) {}

    Deck readDeck() override { return m_worker.readDeck(m_doc.id, m_doc.name); }
    std::set<std::string> installedFonts() override {
        return m_worker.installedFonts(m_doc.id, m_doc.name);
    }
    void drawSlides(Deck &deck, const fs::path &folder, const std::string &pageName) override {
        // LibreOffice writes into the staging folder through a UTF-8 name.
        const PathAlias target(folder);
        m_worker.drawSlides(m_doc.id, deck, target.path(), pageName, m_doc.name);
    }
    std::string deckFolderUrl() override { return folderUrl(m_doc.path.parent_path()); }

private:
    UnoWorker &m_worker;
    const OpenDocument &m_doc;
};

class Application;

class Slides : public EngineObject {
public:
    Slides(std::shared_ptr<Application> app, std::shared_ptr<OpenDocument> doc)
        : m_app(std::move(app)), m_doc(std::move(doc)) {}
    Variant doGet(const std::string &member) override;

private:
    std::shared_ptr<Application> m_app;
    std::shared_ptr<OpenDocument> m_doc;
};

class Presentation : public EngineObject {
public:
    Presentation(std::shared_ptr<Application> app, std::shared_ptr<OpenDocument> doc)
        : m_app(std::move(app)), m_doc(std::move(doc)) {}
    Variant doGet(const std::string &member) override;
    Variant doCall(const std::string &member, const NamedArgs &args) override;

private:
    void saveAs(const NamedArgs &args);
    std::shared_ptr<Application> m_app;
    std::shared_ptr<OpenDocument> m_doc;
};

class Presentations : public EngineObject {
public:
    explicit Presentations(std::shared_ptr<Application> app) : m_app(std::move(app)) {}
    Variant doGet(const std::string &member) override;
    Variant doCall(const std::string &member, const NamedArgs &args) override;

private:
    std::shared_ptr<Application> m_app;
};

class OfficeRegistry;

class Application : public EngineObject, public std::enable_shared_from_this<Application> {
public:
    Application(std::shared_ptr<UnoWorker> worker, std::function<void()> onQuit,
                std::function<void(const std::string &)> warn)
        : m_worker(std::move(worker)), m_onQuit(std::move(onQuit)), m_warn(std::move(warn)) {}

    ~Application() override {
        // Released without Quit (e.g. after a failure): do not leave its
        // documents open in the worker.
        closeAll();
    }

    Variant doGet(const std::string &member) override {
        if (member == kDefaultMember || equalsIgnoringCase(member, "Name"))
            return std::string(kEngineName);
        if (equalsIgnoringCase(member, "Presentations"))
            return AutoRef(std::make_shared<Presentations>(shared_from_this()));
        if (equalsIgnoringCase(member, "ActivePresentation"))
            return AutoRef(std::make_shared<Presentation>(shared_from_this(), activeDocument()));
        if (equalsIgnoringCase(member, "Visible"))
            return m_visible;
        if (equalsIgnoringCase(member, "DisplayAlerts"))
            return m_displayAlerts;
        unknownMember(member);
    }

    void doPut(const std::string &member, const Variant &value) override {
        // Nothing is ever shown and the worker never asks anything, so both
        // settings are kept only to be read back.
        if (equalsIgnoringCase(member, "Visible"))
            m_visible = flagValue(value, "Visible");
        else if (equalsIgnoringCase(member, "DisplayAlerts"))
            m_displayAlerts = flagValue(value, "DisplayAlerts");
        else
            unknownMember(member);
    }

    Variant doCall(const std::string &member, const NamedArgs &args) override {
        if (equalsIgnoringCase(member, "Quit")) {
            rejectUnknownArgs("Quit", args, {});
            closeAll();
            if (m_onQuit)
                m_onQuit();
            return {};
        }
        unknownMember(member);
    }

    std::shared_ptr<OpenDocument> open(const std::string &fileName) {
        const fs::path path = absolutePath(fileName);
        const std::string name = path.filename().string();
        checkBeforeOpening(path, name);
        auto doc = std::make_shared<OpenDocument>();
        doc->alias = std::make_unique<PathAlias>(path);
        doc->id = m_worker->open(doc->alias->path(), name);
        doc->path = path;
        doc->name = name;
        std::lock_guard lock(m_mutex);
        m_documents.push_back(doc);
        return doc;
    }

    void close(const std::shared_ptr<OpenDocument> &doc) {
        if (doc->closed)
            return;
        doc->closed = true;
        m_worker->close(doc->id);
        doc->alias.reset();
        std::lock_guard lock(m_mutex);
        std::erase(m_documents, doc);
    }

    // Presentations still open: those this Application opened, did not close,
    // and that the worker still holds (a crash or timeout closes them all).
    std::int32_t openCount() {
        std::lock_guard lock(m_mutex);
        return std::int32_t(std::count_if(m_documents.begin(), m_documents.end(), [&](auto &d) {
            return !d->closed && m_worker->isOpen(d->id);
        }));
    }

    std::shared_ptr<OpenDocument> activeDocument() {
        std::lock_guard lock(m_mutex);
        for (auto it = m_documents.rbegin(); it != m_documents.rend(); ++it)
            if (!(*it)->closed && m_worker->isOpen((*it)->id))
                return *it;
        throw AutomationError("No presentation is open.");
    }

    UnoWorker &worker() { return *m_worker; }

    // Where the pipeline's warnings go; unset, to page::printWarning.
    const std::function<void(const std::string &)> &warnings() const { return m_warn; }

private:
    void closeAll() {
        std::vector<std::shared_ptr<OpenDocument>> docs;
        {
            std::lock_guard lock(m_mutex);
            docs.swap(m_documents);
        }
        for (auto &doc : docs) {
            if (!doc->closed) {
                doc->closed = true;
                m_worker->close(doc->id);
                doc->alias.reset();
            }
        }
    }

    std::shared_ptr<UnoWorker> m_worker;
    std::function<void()> m_onQuit;
    std::function<void(const std::string &)> m_warn;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<OpenDocument>> m_documents;
    bool m_visible = false;
    bool m_displayAlerts = true;
};

Variant Slides::doGet(const std::string &member) {
    if (equalsIgnoringCase(member, "Count")) {
        if (m_doc->closed)
            throw AutomationError("The presentation " + m_doc->name + " is closed.");
        return std::int32_t(m_app->worker().slideCount(m_doc->id, m_doc->name));
    }
    unknownMember(member);
}

Variant Presentation::doGet(const std::string &member) {
    if (equalsIgnoringCase(member, "Name") || member == kDefaultMember)
        return m_doc->name;
    if (equalsIgnoringCase(member, "FullName"))
        return m_doc->path.string();
    if (equalsIgnoringCase(member, "Path"))
        return m_doc->path.parent_path().string();
    if (equalsIgnoringCase(member, "Slides"))
        return AutoRef(std::make_shared<Slides>(m_app, m_doc));
    if (equalsIgnoringCase(member, "Application") || equalsIgnoringCase(member, "Parent"))
        return AutoRef(m_app);
    unknownMember(member);
}

Variant Presentation::doCall(const std::string &member, const NamedArgs &args) {
    if (equalsIgnoringCase(member, "SaveAs")) {
        saveAs(args);
        return {};
    }
    if (equalsIgnoringCase(member, "Close")) {
        rejectUnknownArgs("Close", args, {});
        m_app->close(m_doc);
        return {};
    }
    unknownMember(member);
}

void Presentation::saveAs(const NamedArgs &args) {
    rejectUnknownArgs("SaveAs", args, {"FileName", "FileFormat", "EmbedTrueTypeFonts"});
    const std::string fileName = requiredString("SaveAs", args, "FileName");
    const Variant *format = findArg(args, "FileFormat");
    if (!format || std::holds_alternative<std::monostate>(*format))
        throw AutomationError("SaveAs: unsupported save format (none given); only 12 (web page) "
                              "is available");
    const std::int32_t formatNumber = asInt(*format, "SaveAs FileFormat");
    if (formatNumber != kSaveAsHtml)
        throw AutomationError("SaveAs: unsupported save format " + std::to_string(formatNumber) +
                              "; only 12 (web page) is available");
    if (m_doc->closed)
        throw AutomationError("The presentation " + m_doc->name + " is closed.");
    if (fileName.empty())
        throw AutomationError("SaveAs: the file name is empty");

    const fs::path page = absolutePath(fileName);
    if (page.filename().empty())
        throw AutomationError("SaveAs: " + fileName + " names a folder, not a page");
    DocumentEngine engine(m_app->worker(), *m_doc);
    savePage(engine, {m_doc->path, m_doc->name, page}, m_app->warnings());
}

Variant Presentations::doGet(const std::string &member) {
    if (equalsIgnoringCase(member, "Count"))
        return m_app->openCount();
    unknownMember(member);
}

Variant Presentations::doCall(const std::string &member, const NamedArgs &args) {
    if (equalsIgnoringCase(member, "Open")) {
        // PowerPoint's optional flags are accepted; documents are always
        // opened read-only and without a window here.
        rejectUnknownArgs("Open", args, {"FileName", "ReadOnly", "Untitled", "WithWindow"});
        const std::string fileName = requiredString("Open", args, "FileName");
        if (fileName.empty())
            throw AutomationError("Open: the file name is empty");
        return AutoRef(std::make_shared<Presentation>(m_app, m_app->open(fileName)));
    }
    unknownMember(member);
}

class OfficeRegistry : public AutomationRegistry,
                       public std::enable_shared_from_this<OfficeRegistry> {
public:
    explicit OfficeRegistry(EngineOptions options) : m_options(std::move(options)) {}

    AutoRef create(const std::string &className) override {
        checkClass(className);
        const fs::path program = m_options.programDir / "soffice.bin";
        std::error_code ec;
        if (!fs::is_regular_file(program, ec) || access(program.c_str(), X_OK) != 0)
            throw AutomationError("LibreOffice is not installed: " + program.string() +
                                  " was not found");
        std::lock_guard lock(m_mutex);
        if (!m_worker) {
            m_worker = std::make_shared<UnoWorker>(m_options);
            // The worker starts meanwhile, so this stays instant and the
            // first Open finds it (nearly) ready.
            m_worker->startInBackground();
        }
        std::weak_ptr<OfficeRegistry> self = weak_from_this();
        auto app = std::make_shared<Application>(
            m_worker,
            [self] {
                if (auto registry = self.lock())
                    registry->forgetApplication();
            },
            m_options.warn);
        m_current = app;
        return app;
    }

    AutoRef attach(const std::string &className) override {
        checkClass(className);
        std::lock_guard lock(m_mutex);
        if (auto app = m_current.lock())
            return app;
        throw AutomationError(std::string("No running instance of ") + kPowerPointClass);
    }

private:
    static void checkClass(const std::string &className) {
        if (!equalsIgnoringCase(className, kPowerPointClass))
            throw AutomationError("The class '" + className +
                                  "' is not registered (no program provides it).");
    }

    void forgetApplication() {
        std::lock_guard lock(m_mutex);
        m_current.reset();
    }

    EngineOptions m_options;
    std::mutex m_mutex;
    std::shared_ptr<UnoWorker> m_worker;
    std::weak_ptr<Application> m_current;
};

} // namespace

std::shared_ptr<AutomationRegistry> makeOfficeRegistry(EngineOptions options) {
    return std::make_shared<OfficeRegistry>(std::move(options));
}

void shutdownOfficeEngine() {
    stopAllWorkers();
}

} // namespace velloran::libreoffice
