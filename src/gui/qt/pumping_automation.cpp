#include "gui/qt/pumping_automation.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <exception>
#include <thread>

namespace velloran {

namespace {

template <class F> auto pumped(F &&work) -> decltype(work()) {
    using Result = decltype(work());
    if (!QCoreApplication::instance() ||
        QThread::currentThread() != QCoreApplication::instance()->thread())
        return work();
    std::exception_ptr failure;
    std::conditional_t<std::is_void_v<Result>, int, Result> result{};
    QEventLoop loop;
    std::thread worker([&] {
        try {
            if constexpr (std::is_void_v<Result>)
                work();
            else
                result = work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    if constexpr (!std::is_void_v<Result>)
        return result;
}

Variant wrap(Variant v);

class PumpingObject final : public AutoObject {
public:
    explicit PumpingObject(AutoRef inner) : m_inner(std::move(inner)) {}

    Variant get(const std::string &member) override {
        return wrap(pumped([&] { return m_inner->get(member); }));
    }
    void put(const std::string &member, const Variant &value) override {
        pumped([&] { m_inner->put(member, unwrap(value)); });
    }
    Variant call(const std::string &member, const NamedArgs &args) override {
        NamedArgs plain;
        for (const auto &[name, value] : args)
            plain.emplace_back(name, unwrap(value));
        return wrap(pumped([&] { return m_inner->call(member, plain); }));
    }

    static Variant unwrap(const Variant &v) {
        if (const auto *obj = std::get_if<AutoRef>(&v))
            if (auto *p = dynamic_cast<PumpingObject *>(obj->get()))
                return p->m_inner;
        return v;
    }

private:
    AutoRef m_inner;
};

Variant wrap(Variant v) {
    if (auto *obj = std::get_if<AutoRef>(&v); obj && *obj)
        return AutoRef(std::make_shared<PumpingObject>(*obj));
    return v;
}

class PumpingRegistry final : public AutomationRegistry {
public:
    explicit PumpingRegistry(std::shared_ptr<AutomationRegistry> inner)
        : m_inner(std::move(inner)) {}
    AutoRef create(const std::string &className) override {
        return std::get<AutoRef>(wrap(pumped([&] { return m_inner->create(className); })));
    }
    AutoRef attach(const std::string &className) override {
        return std::get<AutoRef>(wrap(pumped([&] { return m_inner->attach(className); })));
    }

private:
    std::shared_ptr<AutomationRegistry> m_inner;
};

} // namespace

std::shared_ptr<AutomationRegistry> makePumpingRegistry(std::shared_ptr<AutomationRegistry> inner) {
    return std::make_shared<PumpingRegistry>(std::move(inner));
}

} // namespace velloran
