#include "core/automation.h"

namespace velloran {

namespace {
template <class T> const T &expect(const Variant &v, const std::string &what, const char *type) {
    if (const T *p = std::get_if<T>(&v))
        return *p;
    throw AutomationError(what + ": expected " + type + ", got " + describe(v));
}
} // namespace

AutoRef asObject(const Variant &v, const std::string &what) {
    const AutoRef &ref = expect<AutoRef>(v, what, "an object");
    if (!ref)
        throw AutomationError(what + ": object variable not set");
    return ref;
}

std::string asString(const Variant &v, const std::string &what) {
    return expect<std::string>(v, what, "a string");
}

std::int32_t asInt(const Variant &v, const std::string &what) {
    return expect<std::int32_t>(v, what, "an integer");
}

bool asBool(const Variant &v, const std::string &what) {
    return expect<bool>(v, what, "a Boolean");
}

std::string describe(const Variant &v) {
    struct Visitor {
        std::string operator()(std::monostate) const { return "<empty>"; }
        std::string operator()(const std::string &s) const { return "\"" + s + "\""; }
        std::string operator()(std::int32_t i) const { return std::to_string(i); }
        std::string operator()(bool b) const { return b ? "true" : "false"; }
        std::string operator()(const AutoRef &o) const { return o ? "<object>" : "<nothing>"; }
    };
    return std::visit(Visitor{}, v);
}

} // namespace velloran
