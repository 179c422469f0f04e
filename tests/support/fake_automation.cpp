#include "fake_automation.h"

#include <filesystem>
#include <fstream>

namespace velloran::fakes {

namespace {

// One object of the fake: its answers come from `handler(member, args)`;
// a property write arrives as member "=Name" with the value as its one argument.
class FakeObject final : public AutoObject {
public:
    using Handler = std::function<Variant(const std::string &, const NamedArgs &)>;
    FakeObject(FakePowerPoint &server, std::string name, Handler handler)
        : m_server(server), m_name(std::move(name)), m_handler(std::move(handler)) {}
    Variant get(const std::string &member) override {
        const std::string shown = member.empty() ? "<default>" : member;
        m_server.record("get " + m_name + "." + shown, shown);
        return m_handler(shown, {});
    }
    void put(const std::string &member, const Variant &value) override {
        m_server.record("put " + m_name + "." + member + " = " + describe(value), member);
        m_handler("=" + member, {{"", value}});
    }
    Variant call(const std::string &member, const NamedArgs &args) override {
        std::string line = "call " + m_name + "." + member + "(";
        for (std::size_t i = 0; i < args.size(); ++i)
            line += (i ? ", " : "") + args[i].first + "=" + describe(args[i].second);
        m_server.record(line + ")", member);
        return m_handler(member + "()", args);
    }

private:
    FakePowerPoint &m_server;
    std::string m_name;
    Handler m_handler;
};

} // namespace

void FakePowerPoint::record(const std::string &line, const std::string &member) {
    m_log.push_back(line);
    if (onCall)
        onCall(line);
    if (auto it = m_options.failures.find(member); it != m_options.failures.end())
        throw AutomationError(it->second);
}

AutoRef FakePowerPoint::application() {
    if (auto app = m_app.lock())
        return app;
    m_open = m_options.userPresentations;
    auto presentation = [this](const std::string &path) {
        return std::make_shared<FakeObject>(
            *this, "Presentation", [this, path](const std::string &member, const NamedArgs &args) {
                if (member == "Close()")
                    --m_open;
                else if (member == "SaveAs()" && m_options.writeFiles) {
                    const std::filesystem::path file = asString(args.at(0).second, "fileName");
                    std::ofstream page(file);
                    if (!(page << "<html><body>" << path << "</body></html>\n"))
                        throw AutomationError("Cannot write the web page");
                    if (m_options.writeCompanion) {
                        const auto folder = file.parent_path() / (file.stem().string() + "_files");
                        std::filesystem::create_directories(folder);
                        std::ofstream(folder / ".velloran-export") << "velloran export 1\n";
                    }
                } else if (member == "Slides")
                    return Variant(AutoRef(std::make_shared<FakeObject>(
                        *this, "Slides", [this](const std::string &, const NamedArgs &) {
                            return Variant(static_cast<std::int32_t>(m_options.slides));
                        })));
                else if (member != "SaveAs()")
                    throw AutomationError("Unknown member " + member);
                return Variant{};
            });
    };
    auto presentations = [this, presentation](const std::string &member, const NamedArgs &args) {
        if (member == "Count")
            return Variant(static_cast<std::int32_t>(m_open));
        if (member != "Open()")
            throw AutomationError("Unknown member " + member);
        const std::string path = asString(args.at(0).second, "fileName");
        if (auto it = m_options.unopenable.find(path); it != m_options.unopenable.end())
            throw AutomationError(it->second);
        ++m_open;
        return Variant(AutoRef(presentation(path)));
    };
    auto app = std::make_shared<FakeObject>(
        *this, "Application", [this, presentations](const std::string &member, const NamedArgs &) {
            if (member == "<default>")
                return Variant(m_options.defaultProperty);
            if (member == "Presentations")
                return Variant(
                    AutoRef(std::make_shared<FakeObject>(*this, "Presentations", presentations)));
            if (member == "Quit()")
                m_open = 0;
            else if (member != "=Visible" && member != "=DisplayAlerts")
                throw AutomationError("Unknown member " + member);
            return Variant{};
        });
    m_app = app;
    return app;
}

// attach() finds the application only once it was created, or when the user had it running.
AutoRef FakePowerPoint::start(const std::string &verb, const std::string &className) {
    record(verb + " " + className, "");
    if (!m_options.installed || className != "PowerPoint.Application" ||
        (verb == "attach" && m_app.expired() && !m_options.runningBeforeCreate))
        throw AutomationError("ActiveX component can't create object");
    return application();
}

} // namespace velloran::fakes
