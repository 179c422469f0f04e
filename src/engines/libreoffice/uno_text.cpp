#include "engines/libreoffice/uno_text.h"

#include "core/automation.h"

#include <osl/file.hxx>

namespace velloran::libreoffice {

rtl::OUString toOUString(const std::string &utf8) {
    return rtl::OUString(utf8.data(), sal_Int32(utf8.size()), RTL_TEXTENCODING_UTF8);
}

std::string toUtf8(const rtl::OUString &text) {
    const rtl::OString utf8 = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return std::string(utf8.getStr(), std::size_t(utf8.getLength()));
}

rtl::OUString fileUrl(const std::filesystem::path &path) {
    rtl::OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(toOUString(path.string()), url) !=
        osl::FileBase::E_None)
        throw AutomationError("The path " + path.string() + " cannot be handed to LibreOffice.");
    return url;
}

com::sun::star::beans::PropertyValue prop(const char *name, com::sun::star::uno::Any value) {
    com::sun::star::beans::PropertyValue p;
    p.Name = rtl::OUString::createFromAscii(name);
    p.Value = std::move(value);
    return p;
}

com::sun::star::uno::Sequence<com::sun::star::beans::PropertyValue>
properties(std::initializer_list<com::sun::star::beans::PropertyValue> list) {
    return com::sun::star::uno::Sequence<com::sun::star::beans::PropertyValue>(
        list.begin(), sal_Int32(list.size()));
}

} // namespace velloran::libreoffice
