#pragma once

#include <com/sun/star/uno/XComponentContext.hpp>

namespace velloran::libreoffice {

// Sets what every deck is opened under in the worker's private profile:
// nothing a deck links to (pictures, SVG, PDF, OLE objects, media, on the
// disk or on a server) is loaded; and LibreOffice's start-up self-test
// runs once per profile rather than at every start. Throws UNO exceptions; call it under the
// watchdog, before the first document.
void applyWorkerSettings(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext> &remote);

} // namespace velloran::libreoffice
