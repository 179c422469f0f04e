#include "engines/libreoffice/slide_renderer.h"

#include "engines/libreoffice/profile_folder.h"
#include "engines/libreoffice/uno_text.h"
#include "engines/libreoffice/webp_encoder.h"
#include "page/file_writer.h"
#include "page/page_writer.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <future>
#include <linux/magic.h>
#include <memory>
#include <stdexcept>
#include <sys/vfs.h>
#include <vector>

namespace velloran::libreoffice {

using namespace velloran::page;

namespace css = com::sun::star;
namespace fs = std::filesystem;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Reads a drawn page and removes the drawing.
BgrImage takeDrawing(const fs::path &drawing) {
    BgrImage image = readBmp(drawing);
    std::error_code ec;
    fs::remove(drawing, ec);
    return image;
}

// Where LibreOffice leaves the drawings: a folder of ours in memory when
// the system has one (the user's runtime folder, or /dev/shm), otherwise
// the page's own folder. LibreOffice writes each drawing twice and syncs it
// to the disk; in memory that costs nothing and no disk is written 2.7 MB
// a slide for a file that is read once and removed.
class DrawingFolder {
public:
    explicit DrawingFolder(const fs::path &fallback) : m_path(fallback) {
        std::vector<fs::path> bases;
        if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime == '/')
            bases.emplace_back(runtime);
        if (inMemory("/dev/shm"))
            bases.push_back(privateTemporaryFolder("/dev/shm"));
        for (const auto &base : bases) {
            if (base.empty() || !inMemory(base))
                continue;
            std::string name = (base / "velloran-drawings-XXXXXX").string();
            if (mkdtemp(name.data())) {
                m_path = name;
                m_own = true;
                return;
            }
        }
    }
    ~DrawingFolder() {
        std::error_code ec;
        if (m_own)
            fs::remove_all(m_path, ec);
    }
    DrawingFolder(const DrawingFolder &) = delete;
    DrawingFolder &operator=(const DrawingFolder &) = delete;

    const fs::path &path() const { return m_path; }

private:
    static bool inMemory(const fs::path &folder) {
        struct statfs st {};
        return statfs(folder.c_str(), &st) == 0 && st.f_type == TMPFS_MAGIC;
    }

    fs::path m_path;
    bool m_own = false;
};

void encodeInto(const fs::path &file, const BgrImage &image, const std::string &pageName) {
    writeFileOrThrow(file, encodeWebp(image, kSlideWebp), pageName);
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
    const DrawingFolder drawings(folder);
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
            const fs::path drawing = drawings.path() / (stem + ".bmp");
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
            auto image = std::make_shared<const BgrImage>(takeDrawing(drawing));
            if (encodingAtOnce == 0) {
                encodeInto(folder / slide.image2x, *image, pageName);
            } else {
                // The 2x picture, three quarters of the work, goes to an
                // encoder thread; this thread does the 1x before it has
                // LibreOffice draw the next page, so that neither waits
                // long for the other.
                encoding.push_back(
                    std::async(std::launch::async, [=, large = folder / slide.image2x] {
                        encodeInto(large, *image, pageName);
                    }));
            }
            encodeInto(folder / slide.image1x, halve(*image), pageName);
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
