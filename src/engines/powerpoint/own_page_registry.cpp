#include "engines/powerpoint/own_page_registry.h"

#include "core/export.h"
#include "core/path_rules.h"
#include "core/text.h"

#include <cctype>
#include <filesystem>
#include <mutex>
#include <optional>

namespace velloran::powerpoint {

namespace fs = std::filesystem;

namespace {

// The last version whose SaveAs still has ppSaveAsHTML: PowerPoint 2010.
constexpr int kLastVersionWithWebPages = 14;

const Variant *argument(const NamedArgs &args, std::string_view name) {
    for (const auto &[argName, value] : args)
        if (equalsIgnoringCase(argName, name))
            return &value;
    return nullptr;
}

fs::path pathOf(const std::string &utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// What one registry has learnt about its PowerPoint.
struct Shared {
    OwnPageOptions options;
    std::mutex mutex;
    std::optional<bool> savesWebPages;

    bool canSave(AutoObject &application) {
        std::lock_guard lock(mutex);
        if (!savesWebPages) {
            std::string version;
            try {
                version = asString(application.get("Version"), "Application.Version");
            } catch (const AutomationError &) {
                // A PowerPoint that cannot say is taken for a current one.
            }
            savesWebPages = powerpoint::savesWebPages(version);
        }
        return *savesWebPages;
    }
};

// Passes every member to the object it wraps.
class Forwarding : public AutoObject {
public:
    explicit Forwarding(AutoRef inner) : m_inner(std::move(inner)) {}
    Variant get(const std::string &member) override { return m_inner->get(member); }
    void put(const std::string &member, const Variant &value) override {
        m_inner->put(member, value);
    }
    Variant call(const std::string &member, const NamedArgs &args) override {
        return m_inner->call(member, args);
    }

protected:
    AutoRef m_inner;
};

class Presentation final : public Forwarding {
public:
    Presentation(AutoRef inner, AutoRef application, std::shared_ptr<Shared> shared, fs::path deck)
        : Forwarding(std::move(inner)), m_application(std::move(application)),
          m_shared(std::move(shared)), m_deck(std::move(deck)) {}

    Variant call(const std::string &member, const NamedArgs &args) override {
        const Variant *format = argument(args, "FileFormat");
        const Variant *fileName = argument(args, "FileName");
        if (!equalsIgnoringCase(member, "SaveAs") || !format || !fileName ||
            *format != Variant(kSaveAsHtml) || m_shared->canSave(*m_application))
            return Forwarding::call(member, args);
        const fs::path page = pathOf(asString(*fileName, "SaveAs FileName"));
        if (page.filename().empty())
            throw AutomationError("SaveAs: " + asString(*fileName, "") +
                                  " names a folder, not a page");
        PowerPointDeck engine(m_inner, m_shared->options.languageTag,
                              m_shared->options.installedFonts);
        const auto name = m_deck.filename().u8string();
        page::savePage(engine, {m_deck, std::string(name.begin(), name.end()), page},
                       m_shared->options.warn);
        return {};
    }

private:
    AutoRef m_application;
    std::shared_ptr<Shared> m_shared;
    fs::path m_deck;
};

class Presentations final : public Forwarding {
public:
    Presentations(AutoRef inner, AutoRef application, std::shared_ptr<Shared> shared)
        : Forwarding(std::move(inner)), m_application(std::move(application)),
          m_shared(std::move(shared)) {}

    Variant call(const std::string &member, const NamedArgs &args) override {
        const Variant *fileName = argument(args, "FileName");
        if (!equalsIgnoringCase(member, "Open") || !fileName)
            return Forwarding::call(member, args);
        const std::string path = asString(*fileName, "Open FileName");
        page::checkBeforeOpening(pathOf(path), fileNameOf(path));
        AutoRef opened = asObject(Forwarding::call(member, args), "Presentations.Open");
        return AutoRef(
            std::make_shared<Presentation>(opened, m_application, m_shared, pathOf(path)));
    }

private:
    AutoRef m_application;
    std::shared_ptr<Shared> m_shared;
};

class Application final : public Forwarding {
public:
    Application(AutoRef inner, std::shared_ptr<Shared> shared)
        : Forwarding(std::move(inner)), m_shared(std::move(shared)) {}

    Variant get(const std::string &member) override {
        Variant value = Forwarding::get(member);
        if (!equalsIgnoringCase(member, "Presentations"))
            return value;
        return AutoRef(
            std::make_shared<Presentations>(asObject(value, "Presentations"), m_inner, m_shared));
    }

private:
    std::shared_ptr<Shared> m_shared;
};

class Registry final : public AutomationRegistry {
public:
    Registry(std::shared_ptr<AutomationRegistry> inner, OwnPageOptions options)
        : m_inner(std::move(inner)), m_shared(std::make_shared<Shared>()) {
        m_shared->options = std::move(options);
    }
    AutoRef create(const std::string &className) override {
        return wrap(m_inner->create(className));
    }
    AutoRef attach(const std::string &className) override {
        return wrap(m_inner->attach(className));
    }

private:
    AutoRef wrap(AutoRef application) {
        return application ? std::make_shared<Application>(std::move(application), m_shared)
                           : application;
    }
    std::shared_ptr<AutomationRegistry> m_inner;
    std::shared_ptr<Shared> m_shared;
};

} // namespace

bool savesWebPages(const std::string &version) {
    if (version.empty() || !std::isdigit(static_cast<unsigned char>(version[0])))
        return false;
    return std::stoi(version) <= kLastVersionWithWebPages;
}

std::shared_ptr<AutomationRegistry> makeOwnPageRegistry(std::shared_ptr<AutomationRegistry> inner,
                                                        OwnPageOptions options) {
    return std::make_shared<Registry>(std::move(inner), std::move(options));
}

} // namespace velloran::powerpoint
