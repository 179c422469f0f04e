#include "fake_automation.h"

#include <fstream>

namespace velloran::fakes {

namespace {

std::string argOf(const NamedArgs &args, const std::string &name) {
    for (const auto &[n, v] : args)
        if (n == name)
            return asString(v, name);
    return asString({}, name);
}

// One object of the fake: its answers come from `handler(member, args)`;
// a property write arrives as member "=Name" with the value as its one argument.
class FakeObject final : public AutoObject {
public:
    using Handler = std::function<Variant(const std::string &, const NamedArgs &)>;
    FakeObject(FakePowerPoint &server, std::string name, Handler handler,
               std::function<void()> onEnd = {})
        : m_server(server), m_name(std::move(name)), m_handler(std::move(handler)),
          m_onEnd(std::move(onEnd)) {}
    ~FakeObject() override {
        if (m_onEnd)
            m_onEnd();
    }
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
    std::function<void()> m_onEnd;
};

[[noreturn]] void unknown(const std::string &member) {
    throw AutomationError("Unknown member " + member);
}

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
    m_state = {m_options.userPresentations, true};
    auto presentation = [this](const std::string &path) {
        return std::make_shared<FakeObject>(
            *this, "Presentation", [this, path](const std::string &member, const NamedArgs &args) {
                if (member == "Close()")
                    --m_state.open;
                else if (member == "SaveAs()" && m_options.writeFiles) {
                    std::ofstream page(argOf(args, "fileName"));
                    if (!(page << "<html><body>" << path << "</body></html>\n"))
                        throw AutomationError("Cannot write the web page");
                } else if (member != "SaveAs()")
                    unknown(member);
                return Variant{};
            });
    };
    auto presentations = [this, presentation](const std::string &member, const NamedArgs &args) {
        if (member == "Count")
            return Variant(static_cast<std::int32_t>(m_state.open));
        if (member != "Open()")
            unknown(member);
        const std::string path = argOf(args, "fileName");
        if (auto it = m_options.unopenable.find(path); it != m_options.unopenable.end())
            throw AutomationError(it->second);
        ++m_state.open;
        return Variant(AutoRef(presentation(path)));
    };
    auto app = std::make_shared<FakeObject>(
        *this, "Application",
        [this, presentations](const std::string &member, const NamedArgs &) {
            if (member == "<default>")
                return Variant(m_options.defaultProperty);
            if (member == "Presentations")
                return Variant(
                    AutoRef(std::make_shared<FakeObject>(*this, "Presentations", presentations)));
            if (member == "Quit()")
                m_state.open = 0;
            else if (member != "=Visible" && member != "=DisplayAlerts")
                unknown(member);
            return Variant{};
        },
        [this] { m_state.alive = false; });
    m_app = app;
    return app;
}

AutoRef FakePowerPoint::create(const std::string &className) {
    record("create " + className, "");
    if (!m_options.installed || className != "PowerPoint.Application")
        throw AutomationError("ActiveX component can't create object");
    return application();
}

AutoRef FakePowerPoint::attach(const std::string &className) {
    record("attach " + className, "");
    const bool found = m_options.installed && className == "PowerPoint.Application" &&
                       (!m_app.expired() || m_options.runningBeforeCreate);
    if (!found)
        throw AutomationError("ActiveX component can't create object");
    return application();
}

} // namespace velloran::fakes
