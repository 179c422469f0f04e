#pragma once

// Small conversions shared by the files that talk UNO: UTF-8 and OUString,
// paths and file URLs, and property lists.

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>

#include <filesystem>
#include <initializer_list>
#include <string>

namespace velloran::libreoffice {

rtl::OUString toOUString(const std::string &utf8);
std::string toUtf8(const rtl::OUString &text);

// The file URL LibreOffice needs for an absolute path. Throws AutomationError.
rtl::OUString fileUrl(const std::filesystem::path &path);

com::sun::star::beans::PropertyValue prop(const char *name, com::sun::star::uno::Any value);

com::sun::star::uno::Sequence<com::sun::star::beans::PropertyValue>
properties(std::initializer_list<com::sun::star::beans::PropertyValue> list);

} // namespace velloran::libreoffice
