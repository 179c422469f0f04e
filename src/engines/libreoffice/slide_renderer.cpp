#include "engines/libreoffice/slide_renderer.h"

#include "engines/libreoffice/uno_text.h"
#include "engines/libreoffice/webp_encoder.h"
#include "page/file_writer.h"
#include "page/page_writer.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>

#include <algorithm>
#include <deque>
#include <future>
#include <stdexcept>

namespace velloran::libreoffice {

using namespace velloran::page;

namespace css = com::sun::star;
namespace fs = std::filesystem;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Encodes one drawn page at both sizes and removes the drawing.
void encodeSlide(const fs::path &drawing, const fs::path &large, const fs::path &small,
                 const std::string &pageName) {
    BgrImage image = readBmp(drawing);
    std::error_code ec;
    fs::remove(drawing, ec);
    const WebpPair pictures = encodeWebpFullAndHalf(image, kSlideWebp, 1);
    writeFileOrThrow(large, pictures.full, pageName);
    writeFileOrThrow(small, pictures.half, pageName);
}

} // namespace

void renderSlides(const Reference<css::uno::XComponentContext> &remote,
                  const Reference<css::lang::XComponent> &document, const fs::path &folder,
                  Deck &deck, const std::string &pageName,
                  const std::function<int()> &encoderThreads) {
    Reference<css::drawing::XDrawPagesSupplier> supplier(document, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> pages(supplier->getDrawPages(), UNO_QUERY_THROW);
    const sal_Int32 count = std::min<sal_Int32>(pages->getCount(), sal_Int32(deck.slides.size()));

    const int width = deck.imageWidth;
    const int height = deck.imageHeight;
    if (width <= 0 || height <= 0)
        throw std::logic_error("the deck's picture size was not read");

    auto filterData = properties({
        prop("PixelWidth", css::uno::Any(sal_Int32(width * 2))),
        prop("PixelHeight", css::uno::Any(sal_Int32(height * 2))),
    });
    auto filter = css::drawing::GraphicExportFilter::create(remote);
    // Pages are encoded here while LibreOffice draws the next ones, at most
    // as many at once as encoderThreads() allows: the oldest must be done
    // before another starts, which bounds the threads and the memory.
    std::deque<std::future<void>> encoding;
    auto finishOldest = [&] {
        auto oldest = std::move(encoding.front());
        encoding.pop_front();
        oldest.get();
    };
    try {
        for (sal_Int32 i = 0; i < count; ++i) {
            Reference<css::lang::XComponent> page(pages->getByIndex(i), UNO_QUERY_THROW);
            filter->setSourceDocument(page);
            Slide &slide = deck.slides[std::size_t(i)];
            const std::string stem = "slide-" + std::to_string(i + 1);
            slide.image1x = stem + ".webp";
            slide.image2x = stem + "-2x.webp";
            const fs::path drawing = folder / (stem + ".bmp");
            auto descriptor = properties({
                prop("URL", css::uno::Any(fileUrl(drawing))),
                prop("MediaType", css::uno::Any(rtl::OUString("image/x-MS-bmp"))),
                prop("FilterData", css::uno::Any(filterData)),
            });
            if (!filter->filter(descriptor))
                throw std::runtime_error("slide " + std::to_string(i + 1) + " could not be drawn");
            const std::size_t encodingAtOnce = std::size_t(std::max(0, encoderThreads()));
            while (!encoding.empty() && encoding.size() >= std::max<std::size_t>(encodingAtOnce, 1))
                finishOldest();
            if (encodingAtOnce == 0) {
                encodeSlide(drawing, folder / slide.image2x, folder / slide.image1x, pageName);
                continue;
            }
            encoding.push_back(std::async(std::launch::async, encodeSlide, drawing,
                                          folder / slide.image2x, folder / slide.image1x,
                                          pageName));
        }
        while (!encoding.empty())
            finishOldest();
    } catch (...) {
        // Never leave an encoder running on a folder that is about to go.
        for (auto &pending : encoding)
            pending.wait();
        throw;
    }
}

} // namespace velloran::libreoffice
