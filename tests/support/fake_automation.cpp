#include "fake_automation.h"

#include <fstream>

namespace velloran::fakes {

namespace {

std::string renderArgs(const NamedArgs &args) {
    std::string out = "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i)
            out += ", ";
        out += args[i].first + "=" + describe(args[i].second);
    }
    return out + ")";
}

const Variant *arg(const NamedArgs &args, const std::string &name) {
    for (const auto &[n, v] : args)
        if (n == name)
            return &v;
    return nullptr;
}

class FakePresentation final : public AutoObject {
public:
    FakePresentation(FakePowerPoint &server, std::string path)
        : m_server(server), m_path(std::move(path)) {}
    Variant get(const std::string &member) override {
        m_server.record("get Presentation." + member);
        m_server.failIfAsked(member);
        if (member == "FullName")
            return m_path;
        throw AutomationError("Unknown member " + member);
    }
    void put(const std::string &member, const Variant &value) override {
        m_server.record("put Presentation." + member + " = " + describe(value));
        throw AutomationError("Unknown member " + member);
    }
    Variant call(const std::string &member, const NamedArgs &args) override {
        m_server.record("call Presentation." + member + renderArgs(args));
        m_server.failIfAsked(member);
        if (member == "SaveAs") {
            if (m_server.options().writeFiles) {
                const Variant *name = arg(args, "fileName");
                std::ofstream page(asString(name ? *name : Variant{}, "fileName"));
                if (!page)
                    throw AutomationError("Cannot write the web page");
                page << "<html><body>" << m_path << "</body></html>\n";
            }
            return {};
        }
        if (member == "Close") {
            --m_server.state().open;
            return {};
        }
        throw AutomationError("Unknown member " + member);
    }

private:
    FakePowerPoint &m_server;
    std::string m_path;
};

class FakePresentations final : public AutoObject {
public:
    explicit FakePresentations(FakePowerPoint &server) : m_server(server) {}
    Variant get(const std::string &member) override {
        m_server.record("get Presentations." + member);
        m_server.failIfAsked(member);
        if (member == "Count")
            return static_cast<std::int32_t>(m_server.state().open);
        throw AutomationError("Unknown member " + member);
    }
    void put(const std::string &member, const Variant &value) override {
        m_server.record("put Presentations." + member + " = " + describe(value));
        throw AutomationError("Unknown member " + member);
    }
    Variant call(const std::string &member, const NamedArgs &args) override {
        m_server.record("call Presentations." + member + renderArgs(args));
        m_server.failIfAsked(member);
        if (member != "Open")
            throw AutomationError("Unknown member " + member);
        const Variant *name = arg(args, "fileName");
        const std::string path = asString(name ? *name : Variant{}, "fileName");
        if (auto it = m_server.options().unopenable.find(path);
            it != m_server.options().unopenable.end())
            throw AutomationError(it->second);
        ++m_server.state().open;
        return AutoRef(std::make_shared<FakePresentation>(m_server, path));
    }

private:
    FakePowerPoint &m_server;
};

class FakeApplication final : public AutoObject {
public:
    explicit FakeApplication(FakePowerPoint &server) : m_server(server) {
        m_server.state().alive = true;
    }
    ~FakeApplication() override { m_server.state().alive = false; }
    Variant get(const std::string &member) override {
        m_server.record("get Application." + (member.empty() ? std::string("<default>") : member));
        m_server.failIfAsked(member.empty() ? "<default>" : member);
        if (member.empty())
            return m_server.options().defaultProperty;
        if (member == "Presentations")
            return AutoRef(std::make_shared<FakePresentations>(m_server));
        throw AutomationError("Unknown member " + member);
    }
    void put(const std::string &member, const Variant &value) override {
        m_server.record("put Application." + member + " = " + describe(value));
        m_server.failIfAsked(member);
        if (member != "Visible" && member != "DisplayAlerts")
            throw AutomationError("Unknown member " + member);
    }
    Variant call(const std::string &member, const NamedArgs &args) override {
        m_server.record("call Application." + member + renderArgs(args));
        m_server.failIfAsked(member);
        if (member == "Quit") {
            m_server.state().open = 0;
            return {};
        }
        throw AutomationError("Unknown member " + member);
    }

private:
    FakePowerPoint &m_server;
};

} // namespace

void FakePowerPoint::record(const std::string &line) {
    m_log.push_back(line);
    if (onCall)
        onCall(line);
}

void FakePowerPoint::failIfAsked(const std::string &member) {
    if (auto it = m_options.failures.find(member); it != m_options.failures.end())
        throw AutomationError(it->second);
}

AutoRef FakePowerPoint::create(const std::string &className) {
    record("create " + className);
    if (!m_options.installed || className != "PowerPoint.Application")
        throw AutomationError("ActiveX component can't create object");
    if (auto app = m_app.lock())
        return app;
    m_state.open = m_options.userPresentations;
    auto app = std::make_shared<FakeApplication>(*this);
    m_app = app;
    return app;
}

AutoRef FakePowerPoint::attach(const std::string &className) {
    record("attach " + className);
    if (m_options.installed && m_options.running && className == "PowerPoint.Application") {
        if (auto app = m_app.lock())
            return app;
        if (m_options.runningBeforeCreate) {
            m_state.open = m_options.userPresentations;
            auto app = std::make_shared<FakeApplication>(*this);
            m_app = app;
            return app;
        }
    }
    throw AutomationError("ActiveX component can't create object");
}

} // namespace velloran::fakes
