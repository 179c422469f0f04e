// The library the worker loads: one component whose XJob::execute() reads
// the deck in the worker's own process (see reader_component.h).

#include "engines/libreoffice/reader_component.h"

#include "engines/libreoffice/deck_wire.h"
#include "engines/libreoffice/page_reader.h"
#include "engines/libreoffice/uno_text.h"

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/task/XJob.hpp>
#include <cppuhelper/factory.hxx>
#include <cppuhelper/implbase2.hxx>
#include <cppuhelper/implementationentry.hxx>
#include <cppuhelper/supportsservice.hxx>

#include <exception>

namespace velloran::libreoffice {
namespace {

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::Sequence;

Sequence<rtl::OUString> readerServices() {
    const rtl::OUString job("com.sun.star.task.Job");
    return Sequence<rtl::OUString>(&job, 1);
}

rtl::OUString readerName() {
    return rtl::OUString::createFromAscii(kReaderImplementation);
}

class InWorkerDeckReader : public cppu::WeakImplHelper2<css::task::XJob, css::lang::XServiceInfo> {
public:
    css::uno::Any SAL_CALL execute(const Sequence<css::beans::NamedValue> &arguments) override {
        Reference<css::lang::XComponent> document;
        for (const auto &argument : arguments)
            if (argument.Name.equalsAscii(kReaderDocumentArgument))
                argument.Value >>= document;
        if (!document.is())
            throw css::lang::IllegalArgumentException("no document to read", *this, 0);
        std::vector<std::uint8_t> bytes;
        try {
            bytes = encodeDeck(readDeck(document));
        } catch (const std::exception &e) {
            // Only UNO exceptions cross the bridge; this one carries the same
            // text as the remote read's.
            throw css::uno::Exception(toOUString(e.what()), *this);
        }
        return css::uno::Any(Sequence<sal_Int8>(reinterpret_cast<const sal_Int8 *>(bytes.data()),
                                                sal_Int32(bytes.size())));
    }

    rtl::OUString SAL_CALL getImplementationName() override { return readerName(); }
    sal_Bool SAL_CALL supportsService(const rtl::OUString &name) override {
        return cppu::supportsService(this, name);
    }
    Sequence<rtl::OUString> SAL_CALL getSupportedServiceNames() override {
        return readerServices();
    }
};

Reference<css::uno::XInterface> createReader(const Reference<css::uno::XComponentContext> &) {
    return static_cast<cppu::OWeakObject *>(new InWorkerDeckReader);
}

const cppu::ImplementationEntry kEntries[] = {
    {createReader, readerName, readerServices, cppu::createSingleComponentFactory, nullptr, 0},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0}};

} // namespace
} // namespace velloran::libreoffice

// The one symbol the library exports: UNO's shared-library loader asks it for
// the factory of an implementation by name.
extern "C" SAL_DLLPUBLIC_EXPORT void *
component_getFactory(const char *implementation, void *serviceManager, void *registryKey) {
    return cppu::component_getFactoryHelper(implementation, serviceManager, registryKey,
                                            velloran::libreoffice::kEntries);
}
