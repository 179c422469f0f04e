#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace velloran {

class AutoObject;

// A late-bound automation value: nothing, a string, a 32-bit integer, a
// Boolean or an object reference. These are the only variant types that
// cross the automation boundary in this program.
using Variant =
    std::variant<std::monostate, std::string, std::int32_t, bool, std::shared_ptr<AutoObject>>;

// Named arguments of a method call, in the order the caller passes them.
using NamedArgs = std::vector<std::pair<std::string, Variant>>;

// The member name that addresses an object's default property.
inline constexpr const char *kDefaultMember = "";

// Raised by every automation failure. what() is the description the server
// gave, unchanged, because the error report shows exactly that text.
class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A late-bound automation object. Members are resolved by name at call time,
// as IDispatch does. Any call may throw AutomationError.
class AutoObject {
public:
    virtual ~AutoObject() = default;
    virtual Variant get(const std::string &member) = 0;
    virtual void put(const std::string &member, const Variant &value) = 0;
    virtual Variant call(const std::string &member, const NamedArgs &args) = 0;
};

using AutoRef = std::shared_ptr<AutoObject>;

// Finds automation classes by name. create() makes a new instance;
// attach() returns the running one. Both throw AutomationError when the class
// is unavailable or (for attach) nothing of that class is running.
// Abstract so that a recording fake can stand in for the real server in tests.
class AutomationRegistry {
public:
    virtual ~AutomationRegistry() = default;
    virtual AutoRef create(const std::string &className) = 0;
    virtual AutoRef attach(const std::string &className) = 0;
};

// Helpers that turn a Variant into the expected type or throw AutomationError
// naming what was expected.
AutoRef asObject(const Variant &v, const std::string &what);
std::string asString(const Variant &v, const std::string &what);
std::int32_t asInt(const Variant &v, const std::string &what);
bool asBool(const Variant &v, const std::string &what);

// A readable rendering of a variant for logs and test failure messages,
// e.g. "\"C:\\a.ppt\"", "12", "true", "<object>", "<empty>".
std::string describe(const Variant &v);

} // namespace velloran
