#include "core/automation_thread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

namespace velloran {

namespace {

class BlockingWaiter final : public CallWaiter {
public:
    void wait(const std::function<bool()> &finished) override {
        std::unique_lock lock(m_mutex);
        m_woken.wait(lock, finished);
    }
    void wake() override {
        // Taking the lock orders the wake after a waiter's last check.
        std::lock_guard lock(m_mutex);
        m_woken.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_woken;
};

// The one thread that makes and uses every object. It runs posted jobs in
// order and, when told to stop, finishes the jobs already posted first, so
// that every release reaches it.
class OwnerThread {
public:
    explicit OwnerThread(std::shared_ptr<CallWaiter> waiter)
        : m_waiter(std::move(waiter)), m_thread([this] { serve(); }) {}
    ~OwnerThread() {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_posted.notify_one();
        if (std::this_thread::get_id() == m_thread.get_id())
            m_thread.detach();
        else
            m_thread.join();
    }
    OwnerThread(const OwnerThread &) = delete;
    OwnerThread &operator=(const OwnerThread &) = delete;

    void post(std::function<void()> job) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_posted.notify_one();
    }

    template <class F> auto run(F &&work) -> decltype(work()) {
        using Result = decltype(work());
        if (std::this_thread::get_id() == m_thread.get_id())
            return work();
        std::atomic<bool> done{false};
        std::exception_ptr failure;
        std::optional<std::conditional_t<std::is_void_v<Result>, int, Result>> result;
        post([&] {
            try {
                if constexpr (std::is_void_v<Result>)
                    work();
                else
                    result.emplace(work());
            } catch (...) {
                failure = std::current_exception();
            }
            done = true;
            m_waiter->wake();
        });
        m_waiter->wait([&] { return done.load(); });
        if (failure)
            std::rethrow_exception(failure);
        if constexpr (!std::is_void_v<Result>)
            return std::move(*result);
    }

private:
    void serve() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                m_posted.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
                if (m_jobs.empty())
                    return;
                job = std::move(m_jobs.front());
                m_jobs.pop_front();
            }
            job();
        }
    }

    std::shared_ptr<CallWaiter> m_waiter;
    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_thread; // last, so that it starts after the rest is ready
};

// Hands `inner` to the owner thread to be let go of there.
template <class T> void releaseOn(OwnerThread &owner, std::shared_ptr<T> &inner) {
    owner.post([released = std::move(inner)]() mutable { released.reset(); });
}

Variant wrap(const std::shared_ptr<OwnerThread> &owner, Variant v);

class OwnedObject final : public AutoObject {
public:
    OwnedObject(std::shared_ptr<OwnerThread> owner, AutoRef inner)
        : m_owner(std::move(owner)), m_inner(std::move(inner)) {}
    ~OwnedObject() override { releaseOn(*m_owner, m_inner); }

    Variant get(const std::string &member) override {
        return wrap(m_owner, m_owner->run([&] { return m_inner->get(member); }));
    }
    void put(const std::string &member, const Variant &value) override {
        m_owner->run([&] { m_inner->put(member, unwrap(value)); });
    }
    Variant call(const std::string &member, const NamedArgs &args) override {
        NamedArgs plain;
        for (const auto &[name, value] : args)
            plain.emplace_back(name, unwrap(value));
        return wrap(m_owner, m_owner->run([&] { return m_inner->call(member, plain); }));
    }

    // An object argument travels as the object the owner thread knows.
    static Variant unwrap(const Variant &v) {
        if (const auto *obj = std::get_if<AutoRef>(&v))
            if (auto *owned = dynamic_cast<OwnedObject *>(obj->get()))
                return owned->m_inner;
        return v;
    }

private:
    std::shared_ptr<OwnerThread> m_owner;
    AutoRef m_inner;
};

// Results are moved out of the owner thread's hands only wrapped, so that
// the inner object's last reference is always dropped there.
Variant wrap(const std::shared_ptr<OwnerThread> &owner, Variant v) {
    if (auto *obj = std::get_if<AutoRef>(&v); obj && *obj)
        return AutoRef(std::make_shared<OwnedObject>(owner, std::move(*obj)));
    return v;
}

class SingleThreadRegistry final : public AutomationRegistry {
public:
    SingleThreadRegistry(std::shared_ptr<AutomationRegistry> inner,
                         std::shared_ptr<CallWaiter> waiter)
        : m_owner(std::make_shared<OwnerThread>(std::move(waiter))), m_inner(std::move(inner)) {}
    ~SingleThreadRegistry() override { releaseOn(*m_owner, m_inner); }

    AutoRef create(const std::string &className) override {
        return std::get<AutoRef>(
            wrap(m_owner, m_owner->run([&] { return Variant(m_inner->create(className)); })));
    }
    AutoRef attach(const std::string &className) override {
        return std::get<AutoRef>(
            wrap(m_owner, m_owner->run([&] { return Variant(m_inner->attach(className)); })));
    }

private:
    std::shared_ptr<OwnerThread> m_owner;
    std::shared_ptr<AutomationRegistry> m_inner;
};

} // namespace

std::shared_ptr<CallWaiter> makeBlockingWaiter() {
    return std::make_shared<BlockingWaiter>();
}

std::shared_ptr<AutomationRegistry>
makeSingleThreadRegistry(std::shared_ptr<AutomationRegistry> inner,
                         std::shared_ptr<CallWaiter> waiter) {
    return std::make_shared<SingleThreadRegistry>(std::move(inner), std::move(waiter));
}

} // namespace velloran
