#pragma once

#include "page/deck_model.h"

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <set>
#include <string>

namespace velloran::libreoffice {

// Reads what the page shows from an open presentation over UNO: the slides
// in order with their titles, the text of every shape and table in reading
// order, notes, pictures' titles and descriptions, hyperlinks, the
// document's title and language, the fonts the text uses, and the size of
// the slide pictures, from the first page's aspect ratio. Linked objects are
// hidden, so the slide pictures never show them. Throws UNO exceptions, and
// std::runtime_error for groups nested too deep to read; call it under the
// watchdog.
page::Deck
readDeck(const com::sun::star::uno::Reference<com::sun::star::lang::XComponent> &document);

// The font families the worker can draw with.
std::set<std::string> installedFonts(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> &remote);

} // namespace velloran::libreoffice
