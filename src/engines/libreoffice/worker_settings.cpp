#include "engines/libreoffice/worker_settings.h"

#include <com/sun/star/configuration/ReadWriteAccess.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>

namespace velloran::libreoffice {

namespace css = com::sun::star;

void applyWorkerSettings(const css::uno::Reference<css::uno::XComponentContext> &remote) {
    auto access = css::configuration::ReadWriteAccess::create(remote, "*");
    // A link is followed only when the document it comes from lies in a
    // trusted location. With the blocking on and no trusted location at all
    // no deck is one, so no linked graphic is loaded from a file or fetched
    // over the network; LibreOffice draws each as it draws a missing link.
    access->replaceByHierarchicalName(
        "/org.openoffice.Office.Common/Security/Scripting/BlockUntrustedRefererLinks",
        css::uno::Any(true));
    access->replaceByHierarchicalName("/org.openoffice.Office.Common/Security/Scripting/SecureURL",
                                      css::uno::Any(css::uno::Sequence<rtl::OUString>()));
    access->commitChanges();
    // LibreOffice runs its graphics self-test, seconds of CPU, at every start
    // until the profile records the version that last ran in it. Only its
    // interactive start-up records that, so without this every worker start
    // would pay for the test again. A LibreOffice without these keys only
    // starts slower.
    try {
        const rtl::OUString product = "/org.openoffice.Setup/Product/";
        access->replaceByHierarchicalName(
            product + "ooSetupLastVersion",
            access->getByHierarchicalName(product + "ooSetupVersion"));
        access->commitChanges();
    } catch (const css::container::NoSuchElementException &) {
    } catch (const css::lang::IllegalArgumentException &) {
    }
}

} // namespace velloran::libreoffice
