#include "engines/libreoffice/page_reader.h"

#include "engines/libreoffice/slide_renderer.h"
#include "engines/libreoffice/uno_text.h"

#include <com/sun/star/awt/FontDescriptor.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XDevice.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapes.hpp>
#include <com/sun/star/embed/XEmbeddedObject.hpp>
#include <com/sun/star/embed/XLinkageSupport.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/presentation/XPresentationPage.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTable.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextField.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>

namespace velloran::libreoffice {

using namespace velloran::page;

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

template <class T>
bool readProperty(const Reference<css::beans::XPropertySet> &props, const char *name, T &value) {
    if (!props.is())
        return false;
    // One round trip: asking the property set's info first would take two
    // more, for every property of every shape.
    try {
        return props->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= value;
    } catch (const css::uno::Exception &) {
        return false;
    }
}

css::uno::Sequence<rtl::OUString> names(std::initializer_list<const char *> list) {
    css::uno::Sequence<rtl::OUString> result(sal_Int32(list.size()));
    sal_Int32 i = 0;
    for (const char *name : list)
        result.getArray()[i++] = rtl::OUString::createFromAscii(name);
    return result;
}

// Several properties in one call into the worker; each call is a round trip
// over the pipe. Empty when the object lacks one of them.
css::uno::Sequence<css::uno::Any> someProperties(const Reference<css::uno::XInterface> &object,
                                                 const css::uno::Sequence<rtl::OUString> &names) {
    Reference<css::beans::XMultiPropertySet> multi(object, UNO_QUERY);
    if (!multi.is())
        return {};
    try {
        auto values = multi->getPropertyValues(names);
        return values.getLength() == names.getLength() ? values
                                                       : css::uno::Sequence<css::uno::Any>();
    } catch (const css::uno::RuntimeException &) {
        throw;
    } catch (const css::uno::Exception &) {
        return {};
    }
}

std::string utf8Of(const css::uno::Any &value) {
    rtl::OUString text;
    return (value >>= text) ? toUtf8(text) : std::string();
}

std::string stringProperty(const Reference<css::beans::XPropertySet> &props, const char *name) {
    rtl::OUString value;
    return readProperty(props, name, value) ? toUtf8(value) : std::string();
}

// The shape's type name is the one reliable way to tell a title or notes
// placeholder: they do not list their type among their services. The
// interface that gives it is marked deprecated in the API, without a
// replacement.
// Asked once per shape: each call is a round trip to the worker.
rtl::OUString shapeType(const Reference<css::drawing::XShape> &shape) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return shape->getShapeType();
#pragma GCC diagnostic pop
}

std::string localeTag(const css::lang::Locale &locale) {
    std::string tag = toUtf8(locale.Language == "qlt" ? locale.Variant : locale.Language);
    if (locale.Language != "qlt" && !locale.Country.isEmpty())
        tag += "-" + toUtf8(locale.Country);
    const bool wellFormed = !tag.empty() && std::all_of(tag.begin(), tag.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
    });
    return wellFormed ? tag : std::string();
}

// Whether LibreOffice leaves the picture of a graphic shape blank. A picture
// it could not load (a damaged one, or one larger than its headless backend
// takes: a bitmap of more than 2^30 - 1 bytes, rows padded to 4 bytes, of 1,
// 3 or 4 bytes a pixel) has no graphic at all; one that loaded is checked
// against that limit too.
bool leftBlank(const Reference<css::drawing::XShape> &shape) {
    constexpr std::uint64_t kMaxBitmapBytes = 0x7fffffffu / 2;
    Reference<css::graphic::XGraphic> graphic;
    if (!readProperty(Reference<css::beans::XPropertySet>(shape, UNO_QUERY), "Graphic", graphic))
        return false;
    if (!graphic.is())
        return true;
    const Reference<css::beans::XPropertySet> info(graphic, UNO_QUERY);
    css::awt::Size size;
    sal_Int8 bits = 0;
    if (!readProperty(info, "SizePixel", size) || size.Width <= 0 || size.Height <= 0)
        return false;
    readProperty(info, "BitsPerPixel", bits);
    const std::uint64_t bytesPerPixel = bits > 24 ? 4 : bits > 8 || bits <= 0 ? 3 : 1;
    const std::uint64_t row = (std::uint64_t(size.Width) * bytesPerPixel + 3) / 4 * 4;
    return row * std::uint64_t(size.Height) > kMaxBitmapBytes;
}

// The slides, numbered from 1, with a picture left blank, in
// groups however deep (walked with a list of their own, not recursion).
std::vector<int> slidesWithUndrawnPictures(const Reference<css::container::XIndexAccess> &pages) {
    std::vector<int> slides;
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        std::vector<Reference<css::drawing::XShapes>> pending{
            Reference<css::drawing::XShapes>(pages->getByIndex(i), UNO_QUERY)};
        bool found = false;
        while (!pending.empty() && !found) {
            const Reference<css::drawing::XShapes> shapes = pending.back();
            pending.pop_back();
            for (sal_Int32 k = 0; shapes.is() && k < shapes->getCount() && !found; ++k) {
                Reference<css::drawing::XShape> shape(shapes->getByIndex(k), UNO_QUERY);
                if (!shape.is())
                    continue;
                const rtl::OUString type = shapeType(shape);
                if (type.equalsAscii("com.sun.star.drawing.GroupShape"))
                    pending.emplace_back(shape, UNO_QUERY);
                else if (type.equalsAscii("com.sun.star.drawing.GraphicObjectShape"))
                    found = leftBlank(shape);
            }
        }
        if (found)
            slides.push_back(i + 1);
    }
    return slides;
}

// Far deeper than any deck made by hand nests its groups.
constexpr std::size_t kMaxGroupDepth = 50;

// An object linked to a document outside the deck is loaded with the deck:
// unlike linked pictures, LibreOffice has no setting that stops it. It is
// hidden, so nothing of that document is drawn into the slide picture.
// Returns whether it hid one.
bool hideIfLinked(const Reference<css::beans::XPropertySet> &props) {
    Reference<css::embed::XEmbeddedObject> object;
    if (!readProperty(props, "EmbeddedObject", object) || !object.is())
        return false;
    Reference<css::embed::XLinkageSupport> link(object, UNO_QUERY);
    if (!link.is() || !link->isLink())
        return false;
    props->setPropertyValue("Visible", css::uno::Any(false));
    return true;
}

// Whether a graphic shape shows a picture linked from outside the deck,
// which the worker's settings keep from being loaded. Such a shape is
// hidden too: LibreOffice would draw its missing link as a frame labelled
// with the link's absolute URL, a path of the converting machine.
bool linkedPicture(const Reference<css::beans::XPropertySet> &props) {
    Reference<css::beans::XPropertySet> graphic;
    bool linked = false;
    return readProperty(props, "Graphic", graphic) && graphic.is() &&
           readProperty(graphic, "Linked", linked) && linked;
}

// Collects the text of shapes, with what the page needs around it.
class SlideReader {
public:
    SlideReader(Deck &deck, double pageWidth, double pageHeight)
        : m_deck(deck), m_width(pageWidth), m_height(pageHeight),
          m_widthPoints(pageWidth / 2540.0 * 72.0) {}

    std::vector<Paragraph> paragraphs(const Reference<css::text::XText> &text,
                                      double *fontPoints = nullptr) {
        std::vector<Paragraph> result;
        Reference<css::container::XEnumerationAccess> access(text, UNO_QUERY);
        if (!access.is())
            return result;
        auto paras = access->createEnumeration();
        while (paras->hasMoreElements()) {
            Reference<css::container::XEnumerationAccess> para(paras->nextElement(), UNO_QUERY);
            if (!para.is())
                continue;
            Paragraph paragraph;
            auto portions = para->createEnumeration();
            while (portions->hasMoreElements()) {
                Reference<css::text::XTextRange> range(portions->nextElement(), UNO_QUERY);
                if (!range.is())
                    continue;
                TextRun run;
                run.text = toUtf8(range->getString());
                static const auto portionNames =
                    names({"TextPortionType", "CharFontName", "CharHeight", "CharLocale"});
                const auto values = someProperties(range, portionNames);
                if (values.getLength() == 4 && utf8Of(values[0]) == "TextField") {
                    Reference<css::beans::XPropertySet> props(range, UNO_QUERY);
                    Reference<css::text::XTextField> field;
                    if (readProperty(props, "TextField", field) && field.is())
                        run.url = stringProperty(
                            Reference<css::beans::XPropertySet>(field, UNO_QUERY), "URL");
                }
                if (!run.text.empty() && values.getLength() == 4) {
                    const std::string font = utf8Of(values[1]);
                    if (!font.empty())
                        m_deck.fonts.insert(font);
                    float height = 0;
                    if (fontPoints && *fontPoints <= 0 && (values[2] >>= height))
                        *fontPoints = height;
                    css::lang::Locale locale;
                    if (m_firstLocale.empty() && (values[3] >>= locale))
                        m_firstLocale = localeTag(locale);
                }
                if (!paragraph.runs.empty() && paragraph.runs.back().url == run.url)
                    paragraph.runs.back().text += run.text;
                else
                    paragraph.runs.push_back(std::move(run));
            }
            result.push_back(std::move(paragraph));
        }
        return result;
    }

    TextBlock block(const Reference<css::drawing::XShape> &shape) {
        TextBlock b;
        const auto pos = shape->getPosition();
        const auto size = shape->getSize();
        b.left = pos.X / m_width;
        b.top = pos.Y / m_height;
        b.width = size.Width / m_width;
        b.height = size.Height / m_height;
        return b;
    }

    // Walks the shapes in reading order, each group's members where the
    // group stands. The walk keeps its own stack, so no depth can overflow
    // ours, and stops past kMaxGroupDepth: LibreOffice's time to hand out and
    // to draw deeply nested groups grows far faster than their depth (a few
    // thousand levels take minutes), so such a deck would otherwise end only
    // at the time limit.
    void readShapes(const Reference<css::drawing::XShapes> &top, Slide &slide,
                    std::vector<TextBlock> &titleBlocks) {
        struct Level {
            Reference<css::drawing::XShapes> shapes;
            sal_Int32 next, count;
        };
        std::vector<Level> levels{{top, 0, top->getCount()}};
        while (!levels.empty()) {
            Level &level = levels.back();
            if (level.next == level.count) {
                levels.pop_back();
                continue;
            }
            Reference<css::drawing::XShape> shape(level.shapes->getByIndex(level.next++),
                                                  UNO_QUERY);
            if (!shape.is())
                continue;
            Reference<css::beans::XPropertySet> props(shape, UNO_QUERY);
            static const auto shapeNames =
                names({"IsEmptyPresentationObject", "Title", "Description"});
            auto values = someProperties(shape, shapeNames);
            if (values.getLength() != 3) {
                values = css::uno::Sequence<css::uno::Any>(3);
                values.getArray()[0] <<= false;
                bool empty = false;
                if (readProperty(props, "IsEmptyPresentationObject", empty))
                    values.getArray()[0] <<= empty;
                for (sal_Int32 k = 1; k < 3; ++k) {
                    rtl::OUString text;
                    if (readProperty(props, k == 1 ? "Title" : "Description", text))
                        values.getArray()[k] <<= text;
                }
            }
            bool empty = false;
            // An empty placeholder would show its prompt ("Click to add ...").
            if ((values[0] >>= empty) && empty)
                continue;
            for (sal_Int32 k = 1; k < 3; ++k) {
                const std::string text = utf8Of(values[k]);
                if (!text.empty())
                    slide.pictureTexts.push_back(text);
            }
            const rtl::OUString type = shapeType(shape);
            if (type.equalsAscii("com.sun.star.drawing.GroupShape")) {
                Reference<css::drawing::XShapes> group(shape, UNO_QUERY);
                if (group.is() && levels.size() > kMaxGroupDepth)
                    throw std::runtime_error("its shapes are grouped more than " +
                                             std::to_string(kMaxGroupDepth) + " levels deep");
                if (group.is())
                    levels.push_back({group, 0, group->getCount()});
                continue;
            }
            if (type.endsWithAsciiL(RTL_CONSTASCII_STRINGPARAM("OLE2Shape")) ||
                type.equalsAscii("com.sun.star.presentation.ChartShape") ||
                type.equalsAscii("com.sun.star.presentation.CalcShape")) {
                if (hideIfLinked(props))
                    m_deck.linkedContentNotLoaded = true;
                continue;
            }
            if (type.equalsAscii("com.sun.star.drawing.GraphicObjectShape") &&
                linkedPicture(props)) {
                props->setPropertyValue("Visible", css::uno::Any(false));
                m_deck.linkedContentNotLoaded = true;
            }
            if (type.equalsAscii("com.sun.star.drawing.TableShape")) {
                readTable(shape, props, slide);
                continue;
            }
            Reference<css::text::XText> text(shape, UNO_QUERY);
            if (!text.is())
                continue;
            TextBlock b = block(shape);
            double points = 0;
            b.paragraphs = paragraphs(text, &points);
            b.fontSize = points > 0 ? points / m_widthPoints : 0.03;
            std::string all;
            for (const auto &p : b.paragraphs)
                for (const auto &r : p.runs)
                    all += r.text;
            if (all.find_first_not_of(" \t\r\n") == std::string::npos)
                continue;
            const bool isTitle = type.equalsAscii("com.sun.star.presentation.TitleTextShape");
            if (isTitle && slide.title.empty())
                slide.title = all;
            (isTitle ? titleBlocks : slide.blocks).push_back(std::move(b));
        }
    }

    void readTable(const Reference<css::drawing::XShape> &shape,
                   const Reference<css::beans::XPropertySet> &props, Slide &slide) {
        Reference<css::table::XTable> table;
        if (!readProperty(props, "Model", table) || !table.is())
            return;
        Reference<css::table::XCellRange> cells(table, UNO_QUERY);
        if (!cells.is())
            return;
        TextBlock b = block(shape);
        double points = 0;
        for (sal_Int32 row = 0; row < table->getRowCount(); ++row) {
            Paragraph line;
            for (sal_Int32 column = 0; column < table->getColumnCount(); ++column) {
                Reference<css::text::XText> cell(cells->getCellByPosition(column, row), UNO_QUERY);
                if (!cell.is())
                    continue;
                auto cellParagraphs = paragraphs(cell, &points);
                for (std::size_t p = 0; p < cellParagraphs.size(); ++p) {
                    if (!line.runs.empty() || p > 0)
                        line.runs.push_back({p > 0 ? " " : " | ", ""});
                    for (auto &run : cellParagraphs[p].runs)
                        line.runs.push_back(std::move(run));
                }
            }
            b.paragraphs.push_back(std::move(line));
        }
        b.fontSize = points > 0 ? points / m_widthPoints : 0.02;
        slide.blocks.push_back(std::move(b));
    }

    std::vector<std::string> notes(const Reference<css::drawing::XDrawPage> &page) {
        std::vector<std::string> result;
        Reference<css::presentation::XPresentationPage> presentationPage(page, UNO_QUERY);
        if (!presentationPage.is())
            return result;
        Reference<css::drawing::XShapes> shapes(presentationPage->getNotesPage(), UNO_QUERY);
        if (!shapes.is())
            return result;
        for (sal_Int32 i = 0; i < shapes->getCount(); ++i) {
            Reference<css::drawing::XShape> shape(shapes->getByIndex(i), UNO_QUERY);
            // Every text on the notes page except the slide's thumbnail and the
            // header, footer, date and number fields; a notes text a file
            // brings in is not always the notes placeholder.
            if (!shape.is())
                continue;
            const rtl::OUString type = shapeType(shape);
            if (type.equalsAscii("com.sun.star.presentation.PageShape") ||
                type.equalsAscii("com.sun.star.presentation.SlideNumberShape") ||
                type.equalsAscii("com.sun.star.presentation.HeaderShape") ||
                type.equalsAscii("com.sun.star.presentation.FooterShape") ||
                type.equalsAscii("com.sun.star.presentation.DateTimeShape"))
                continue;
            Reference<css::beans::XPropertySet> props(shape, UNO_QUERY);
            bool empty = false;
            if (readProperty(props, "IsEmptyPresentationObject", empty) && empty)
                continue;
            Reference<css::text::XText> text(shape, UNO_QUERY);
            if (!text.is())
                continue;
            for (const auto &paragraph : paragraphs(text)) {
                std::string line;
                for (const auto &run : paragraph.runs)
                    line += run.text;
                result.push_back(line);
            }
        }
        return result;
    }

    const std::string &firstLocale() const { return m_firstLocale; }

private:
    Deck &m_deck;
    double m_width, m_height, m_widthPoints;
    std::string m_firstLocale;
};

} // namespace

Deck readDeck(const Reference<css::lang::XComponent> &document) {
    Deck deck;
    Reference<css::document::XDocumentPropertiesSupplier> info(document, UNO_QUERY);
    if (info.is()) {
        auto properties = info->getDocumentProperties();
        if (properties.is()) {
            deck.title = toUtf8(properties->getTitle());
            deck.language = localeTag(properties->getLanguage());
        }
    }
    if (deck.language.empty()) {
        css::lang::Locale locale;
        if (readProperty(Reference<css::beans::XPropertySet>(document, UNO_QUERY), "CharLocale",
                         locale))
            deck.language = localeTag(locale);
    }

    Reference<css::drawing::XDrawPagesSupplier> supplier(document, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> pages(supplier->getDrawPages(), UNO_QUERY_THROW);
    double width = 28000, height = 15750;
    std::string firstLocale;
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        Reference<css::drawing::XDrawPage> page(pages->getByIndex(i), UNO_QUERY_THROW);
        Reference<css::beans::XPropertySet> props(page, UNO_QUERY);
        sal_Int32 w = 0, h = 0;
        if (i == 0 && readProperty(props, "Width", w) && readProperty(props, "Height", h) &&
            w > 0 && h > 0) {
            width = w;
            height = h;
        }
        SlideReader reader(deck, width, height);
        Slide slide;
        Reference<css::container::XNamed> named(page, UNO_QUERY);
        if (named.is())
            slide.name = toUtf8(named->getName());
        std::vector<TextBlock> titleBlocks;
        reader.readShapes(Reference<css::drawing::XShapes>(page, UNO_QUERY_THROW), slide,
                          titleBlocks);
        // The title comes first in reading order.
        slide.blocks.insert(slide.blocks.begin(), std::make_move_iterator(titleBlocks.begin()),
                            std::make_move_iterator(titleBlocks.end()));
        if (slide.title.empty()) {
            for (const auto &block : slide.blocks) {
                for (const auto &p : block.paragraphs) {
                    for (const auto &run : p.runs)
                        slide.title += run.text;
                    if (slide.title.find_first_not_of(" \t\r\n") != std::string::npos)
                        break;
                    slide.title.clear();
                }
                if (!slide.title.empty())
                    break;
            }
        }
        slide.notes = reader.notes(page);
        if (firstLocale.empty())
            firstLocale = reader.firstLocale();
        deck.slides.push_back(std::move(slide));
    }
    if (deck.language.empty())
        deck.language = firstLocale;
    deck.slidesWithUndrawnPictures = slidesWithUndrawnPictures(pages);
    // The pictures keep the page's aspect ratio; the renderer draws them at
    // this size, so the page size is read once, here.
    deck.imageWidth = kSlideWidth;
    deck.imageHeight = std::max(1, int(std::lround(kSlideWidth * height / width)));
    return deck;
}

std::set<std::string> installedFonts(const Reference<css::uno::XComponentContext> &remote) {
    std::set<std::string> fonts;
    auto toolkit = css::awt::Toolkit::create(remote);
    auto device = toolkit->createScreenCompatibleDevice(1, 1);
    if (!device.is())
        return fonts;
    const auto descriptors = device->getFontDescriptors();
    for (const auto &d : descriptors)
        fonts.insert(toUtf8(d.Name));
    return fonts;
}

} // namespace velloran::libreoffice
