#include "engines/libreoffice/page_reader.h"

#include "engines/libreoffice/slide_renderer.h"
#include "engines/libreoffice/uno_text.h"

#include <com/sun/star/awt/FontDescriptor.hpp>
#include <com/sun/star/awt/FontSlant.hpp>
#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XDevice.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/chart/XChartDocument.hpp>
#include <com/sun/star/chart/XDiagram.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XDocumentProperties.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/drawing/TextFitToSizeType.hpp>
#include <com/sun/star/drawing/TextVerticalAdjust.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/drawing/XShapes.hpp>
#include <com/sun/star/embed/XEmbeddedObject.hpp>
#include <com/sun/star/embed/XLinkageSupport.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/presentation/ClickAction.hpp>
#include <com/sun/star/presentation/XPresentationPage.hpp>
#include <com/sun/star/style/LineSpacing.hpp>
#include <com/sun/star/style/LineSpacingMode.hpp>
#include <com/sun/star/style/NumberingType.hpp>
#include <com/sun/star/style/ParagraphAdjust.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XMergeableCell.hpp>
#include <com/sun/star/table/XTable.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextField.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string_view>

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

// The writing system of a character, which picks the locale LibreOffice
// keeps for it: Western, Asian (CJK) or complex (right to left, Indic, Thai).
enum class Script { none, western, asian, complex };

Script scriptOf(char32_t c) {
    if (c < 0x80)
        return std::isalpha(int(c)) ? Script::western : Script::none;
    if ((c >= 0x0590 && c < 0x0900) || (c >= 0x0900 && c < 0x0F00) || (c >= 0xFB1D && c < 0xFE00))
        return Script::complex;
    if ((c >= 0x1100 && c < 0x1200) || (c >= 0x2E80 && c < 0xA000) || (c >= 0xAC00 && c < 0xD7B0) ||
        (c >= 0xF900 && c < 0xFB00) || (c >= 0xFF00 && c < 0xFFF0) || c >= 0x20000)
        return Script::asian;
    if ((c >= 0x2000 && c < 0x2C00) || (c >= 0x3000 && c < 0x3040) || c == 0xA0)
        return Script::none; // punctuation, symbols, spaces
    return Script::western;
}

// Letters of each writing system in UTF-8 text.
std::array<std::size_t, 4> lettersByScript(std::string_view text) {
    std::array<std::size_t, 4> counts{};
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (int k = 1; k < length && i + std::size_t(k) < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + std::size_t(k)]) & 0x3F);
        ++counts[std::size_t(scriptOf(c))];
        i += std::size_t(length);
    }
    return counts;
}

// How many letters of a text are in each language.
using LanguageCounts = std::map<std::string, std::size_t>;

std::string mostUsed(const LanguageCounts &counts) {
    std::string best;
    std::size_t most = 0;
    for (const auto &[tag, count] : counts)
        if (!tag.empty() && count > most) {
            best = tag;
            most = count;
        }
    return best;
}

// The name LibreOffice's chart API gives a chart type, as words.
std::string chartKind(const std::string &diagramType, bool horizontal) {
    static const std::pair<const char *, const char *> kinds[] = {
        {"BarDiagram", "Column chart"},      {"LineDiagram", "Line chart"},
        {"PieDiagram", "Pie chart"},         {"DonutDiagram", "Doughnut chart"},
        {"AreaDiagram", "Area chart"},       {"XYDiagram", "Scatter chart"},
        {"BubbleDiagram", "Bubble chart"},   {"NetDiagram", "Radar chart"},
        {"FilledNetDiagram", "Radar chart"}, {"StockDiagram", "Stock chart"}};
    const std::string name = diagramType.substr(diagramType.rfind('.') + 1);
    if (name == "BarDiagram" && horizontal)
        return "Bar chart";
    for (const auto &[type, words] : kinds)
        if (name == type)
            return words;
    return "Chart";
}

// "Column chart: Sales by region", from a chart object's own model; empty
// when the object is no chart.
std::string chartDescription(const Reference<css::beans::XPropertySet> &props) {
    Reference<css::frame::XModel> model;
    if (!readProperty(props, "Model", model))
        return {};
    const Reference<css::chart::XChartDocument> chart(model, UNO_QUERY);
    if (!chart.is())
        return {};
    std::string kind = "Chart", title;
    bool horizontal = false;
    if (const auto diagram = chart->getDiagram(); diagram.is()) {
        readProperty(Reference<css::beans::XPropertySet>(diagram, UNO_QUERY), "Vertical",
                     horizontal);
        kind = chartKind(toUtf8(diagram->getDiagramType()), horizontal);
    }
    bool hasTitle = false;
    if (readProperty(Reference<css::beans::XPropertySet>(chart, UNO_QUERY), "HasMainTitle",
                     hasTitle) &&
        hasTitle)
        title = stringProperty(Reference<css::beans::XPropertySet>(chart->getTitle(), UNO_QUERY),
                               "String");
    return title.empty() ? kind : kind + ": " + title;
}

// Whether a text field shows the number of the slide it is on.
bool isSlideNumberField(const Reference<css::text::XTextField> &field) {
    const Reference<css::lang::XServiceInfo> info(field, UNO_QUERY);
    if (!info.is())
        return false;
    for (const auto &service : info->getSupportedServiceNames())
        if (service.endsWithAsciiL(RTL_CONSTASCII_STRINGPARAM(".PageNumber")))
            return true;
    return false;
}

// Collects the text of shapes, with what the page needs around it.
class SlideReader {
public:
    SlideReader(Deck &deck, LanguageCounts &deckLanguages, int slideNumber, double pageWidth,
                double pageHeight, bool spacingAdds)
        : m_deck(deck), m_deckLanguages(deckLanguages), m_slideNumber(slideNumber),
          m_width(pageWidth), m_height(pageHeight), m_widthPoints(pageWidth / 2540.0 * 72.0),
          m_spacingAdds(spacingAdds) {}

    // The paragraphs of a text, counting its letters by language into
    // `languages`.
    std::vector<Paragraph> paragraphs(const Reference<css::text::XText> &text,
                                      LanguageCounts &languages, double *fontPoints = nullptr,
                                      std::string *fontName = nullptr) {
        std::vector<Paragraph> result;
        Reference<css::container::XEnumerationAccess> access(text, UNO_QUERY);
        if (!access.is())
            return result;
        auto paras = access->createEnumeration();
        while (paras->hasMoreElements()) {
            Reference<css::container::XEnumerationAccess> para(paras->nextElement(), UNO_QUERY);
            if (!para.is())
                continue;
            Paragraph paragraph = listStyle(para);
            // Unless the deck adds them up, the space between two
            // paragraphs is the larger of the two spaces.
            if (!m_spacingAdds && !result.empty())
                paragraph.spaceBefore =
                    std::max(0.0, paragraph.spaceBefore - result.back().spaceAfter);
            LanguageCounts own;
            auto portions = para->createEnumeration();
            while (portions->hasMoreElements()) {
                Reference<css::text::XTextRange> range(portions->nextElement(), UNO_QUERY);
                if (!range.is())
                    continue;
                TextRun run;
                run.text = toUtf8(range->getString());
                static const auto portionNames =
                    names({"TextPortionType", "CharFontName", "CharHeight", "CharLocale",
                           "CharLocaleAsian", "CharLocaleComplex", "CharWeight", "CharPosture"});
                const auto values = someProperties(range, portionNames);
                const bool known = values.getLength() == portionNames.getLength();
                if (known && utf8Of(values[0]) == "TextField") {
                    Reference<css::beans::XPropertySet> props(range, UNO_QUERY);
                    Reference<css::text::XTextField> field;
                    if (readProperty(props, "TextField", field) && field.is()) {
                        run.url = stringProperty(
                            Reference<css::beans::XPropertySet>(field, UNO_QUERY), "URL");
                        // Outside a drawing the field shows the number of
                        // whichever slide LibreOffice drew last.
                        if (run.url.empty() && isSlideNumberField(field))
                            run.text = std::to_string(m_slideNumber);
                    }
                }
                if (float height = 0; known && (values[2] >>= height) && height > 0)
                    run.fontSize = height / m_widthPoints;
                float weight = 0;
                css::awt::FontSlant slant = css::awt::FontSlant_NONE;
                run.bold =
                    known && (values[6] >>= weight) && weight >= css::awt::FontWeight::SEMIBOLD;
                run.italic =
                    known && (values[7] >>= slant) &&
                    (slant == css::awt::FontSlant_ITALIC || slant == css::awt::FontSlant_OBLIQUE);
                if (!run.text.empty() && known) {
                    const std::string font = utf8Of(values[1]);
                    if (!font.empty())
                        m_deck.fonts.insert(font);
                    if (fontPoints && *fontPoints <= 0 && run.fontSize > 0)
                        *fontPoints = run.fontSize * m_widthPoints;
                    if (fontName && fontName->empty())
                        *fontName = font;
                    const auto letters = lettersByScript(run.text);
                    for (const Script script : {Script::western, Script::asian, Script::complex}) {
                        css::lang::Locale locale;
                        const std::size_t count = letters[std::size_t(script)];
                        if (count > 0 && (values[2 + sal_Int32(script)] >>= locale))
                            own[localeTag(locale)] += count;
                    }
                }
                // Text of one link and one look is one run. An empty portion
                // adds nothing but its size, which an empty paragraph's
                // height follows.
                const auto sameLook = [&](const TextRun &last) {
                    return last.url == run.url && last.fontSize == run.fontSize &&
                           last.bold == run.bold && last.italic == run.italic;
                };
                if (!paragraph.runs.empty() &&
                    (run.text.empty() || sameLook(paragraph.runs.back())))
                    paragraph.runs.back().text += run.text;
                else if (!paragraph.runs.empty() && paragraph.runs.back().text.empty() &&
                         paragraph.runs.back().url.empty())
                    paragraph.runs.back() = std::move(run);
                else
                    paragraph.runs.push_back(std::move(run));
            }
            paragraph.language = mostUsed(own);
            for (const auto &[tag, count] : own)
                languages[tag] += count;
            result.push_back(std::move(paragraph));
        }
        return result;
    }

    // Whether a paragraph shows a bullet or a number: its level's numbering
    // rule says which, and a paragraph can switch its label off.
    Paragraph listStyle(const Reference<css::container::XEnumerationAccess> &para) const {
        Paragraph paragraph;
        static const auto listNames =
            names({"NumberingIsNumber", "NumberingLevel", "ParaAdjust", "ParaLineSpacing",
                   "ParaTopMargin", "ParaBottomMargin", "ParaLeftMargin", "ParaFirstLineIndent"});
        const auto values = someProperties(para, listNames);
        const bool known = values.getLength() == listNames.getLength();
        css::style::LineSpacing spacing;
        sal_Int32 before = 0, after = 0, left = 0, first = 0;
        if (known && (values[3] >>= spacing) && spacing.Mode == css::style::LineSpacingMode::PROP &&
            spacing.Height > 0)
            paragraph.lineSpacing = spacing.Height / 100.0;
        if (known && (values[4] >>= before) && (values[5] >>= after)) {
            paragraph.spaceBefore = std::max(0.0, before / m_width);
            paragraph.spaceAfter = std::max(0.0, after / m_width);
        }
        if (known && (values[6] >>= left) && (values[7] >>= first)) {
            paragraph.indentLeft = std::max(0.0, left / m_width);
            paragraph.indentFirst = first / m_width;
        }
        bool labelled = false;
        sal_Int16 level = 0;
        sal_Int16 adjust = 0;
        if (known && (values[2] >>= adjust))
            paragraph.align = alignOf(adjust);
        if (!known || !(values[0] >>= labelled) || !labelled || !(values[1] >>= level) || level < 0)
            return paragraph;
        Reference<css::container::XIndexAccess> rules;
        css::uno::Sequence<css::beans::PropertyValue> rule;
        if (!readProperty(Reference<css::beans::XPropertySet>(para, UNO_QUERY), "NumberingRules",
                          rules) ||
            !rules.is() || level >= rules->getCount() || !(rules->getByIndex(level) >>= rule))
            return paragraph;
        for (const auto &property : rule) {
            sal_Int16 type = css::style::NumberingType::NUMBER_NONE;
            if (property.Name == "NumberingType" && (property.Value >>= type) &&
                type != css::style::NumberingType::NUMBER_NONE) {
                const bool bullet = type == css::style::NumberingType::CHAR_SPECIAL ||
                                    type == css::style::NumberingType::BITMAP;
                paragraph.list = bullet ? Paragraph::List::bullet : Paragraph::List::number;
                paragraph.level = level;
            }
            // A list item's indents are its level's, on top of the
            // paragraph's own.
            sal_Int32 indent = 0;
            if (property.Name == "LeftMargin" && (property.Value >>= indent))
                paragraph.indentLeft = std::max(0.0, paragraph.indentLeft + indent / m_width);
            if (property.Name == "FirstLineOffset" && (property.Value >>= indent))
                paragraph.indentFirst += indent / m_width;
        }
        return paragraph;
    }

    static TextAlign alignOf(sal_Int16 adjust) {
        return adjust == sal_Int16(css::style::ParagraphAdjust_CENTER)  ? TextAlign::center
               : adjust == sal_Int16(css::style::ParagraphAdjust_RIGHT) ? TextAlign::end
               : adjust == sal_Int16(css::style::ParagraphAdjust_BLOCK) ? TextAlign::justify
                                                                        : TextAlign::start;
    }

    Box box(const css::awt::Point &pos, const css::awt::Size &size) const {
        return {pos.X / m_width, pos.Y / m_height, size.Width / m_width, size.Height / m_height};
    }

    TextBlock block(const Reference<css::drawing::XShape> &shape) const {
        TextBlock b;
        const Box where = box(shape->getPosition(), shape->getSize());
        b.left = where.left;
        b.top = where.top;
        b.width = where.width;
        b.height = where.height;
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
                names({"IsEmptyPresentationObject", "Title", "Description", "OnClick", "Bookmark"});
            auto values = someProperties(shape, shapeNames);
            if (values.getLength() != shapeNames.getLength()) {
                // A shape that lacks one of them: each is asked alone.
                values = css::uno::Sequence<css::uno::Any>(shapeNames.getLength());
                for (sal_Int32 k = 0; k < shapeNames.getLength(); ++k) {
                    try {
                        values.getArray()[k] = props->getPropertyValue(shapeNames[k]);
                    } catch (const css::uno::RuntimeException &) {
                        throw;
                    } catch (const css::uno::Exception &) {
                    }
                }
            }
            bool empty = false;
            // An empty placeholder would show its prompt ("Click to add ...").
            if ((values[0] >>= empty) && empty)
                continue;
            std::string label;
            for (sal_Int32 k = 1; k < 3; ++k) {
                const std::string text = utf8Of(values[k]);
                if (!text.empty())
                    slide.pictureTexts.push_back(text);
                if (label.empty())
                    label = text;
            }
            const rtl::OUString type = shapeType(shape);
            const std::string clickUrl = clickLink(values[3], values[4]);
            if (type.equalsAscii("com.sun.star.drawing.GroupShape")) {
                Reference<css::drawing::XShapes> group(shape, UNO_QUERY);
                if (group.is() && levels.size() > kMaxGroupDepth)
                    throw std::runtime_error("its shapes are grouped more than " +
                                             std::to_string(kMaxGroupDepth) + " levels deep");
                if (!clickUrl.empty())
                    slide.shapeLinks.push_back(
                        {box(shape->getPosition(), shape->getSize()), clickUrl, label});
                if (group.is())
                    levels.push_back({group, 0, group->getCount()});
                continue;
            }
            if (type.endsWithAsciiL(RTL_CONSTASCII_STRINGPARAM("OLE2Shape")) ||
                type.equalsAscii("com.sun.star.presentation.ChartShape") ||
                type.equalsAscii("com.sun.star.presentation.CalcShape")) {
                if (hideIfLinked(props))
                    m_deck.linkedContentNotLoaded = true;
                else if (std::string chart = chartDescription(props); !chart.empty())
                    slide.pictureTexts.push_back(std::move(chart));
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
            LanguageCounts languages;
            b.paragraphs = paragraphs(text, languages, &points, &b.layout.fontFamily);
            std::string all;
            for (const auto &p : b.paragraphs)
                for (const auto &r : p.runs)
                    all += r.text;
            const bool blank = all.find_first_not_of(" \t\r\n") == std::string::npos;
            if (!clickUrl.empty())
                slide.shapeLinks.push_back(
                    {box(shape->getPosition(), shape->getSize()), clickUrl, blank ? label : all});
            if (blank)
                continue;
            // Autofit draws the text and the space around its paragraphs
            // smaller; the indents keep their size.
            const double scale = readLayout(shape, b.paragraphs, b.layout);
            b.fontSize = points > 0 ? points / m_widthPoints * scale : 0.03;
            for (auto &p : b.paragraphs) {
                p.spaceBefore *= scale;
                p.spaceAfter *= scale;
                for (auto &run : p.runs)
                    run.fontSize *= scale;
            }
            readProperty(props, "TextWordWrap", b.layout.wrap);
            b.kind = type.equalsAscii("com.sun.star.presentation.TitleTextShape")
                         ? TextBlock::Kind::title
                     : isFurniture(type) ? TextBlock::Kind::furniture
                                         : TextBlock::Kind::text;
            if (b.kind == TextBlock::Kind::title && slide.title.empty())
                slide.title = all;
            addLanguages(b, languages);
            (b.kind == TextBlock::Kind::title ? titleBlocks : slide.blocks).push_back(std::move(b));
        }
    }

    // The space a shape or table cell keeps inside its edges, the edge its
    // text hangs from and its first paragraph's alignment, into `layout`
    // (the font is the paragraphs' reader's); returns the scale a shape's
    // autofit draws the text at (1 when it does not shrink it; cells have
    // none).
    double readLayout(const Reference<css::uno::XInterface> &object,
                      const std::vector<Paragraph> &paragraphs, TextLayout &layout) {
        static const auto layoutNames =
            names({"TextLeftDistance", "TextUpperDistance", "TextRightDistance",
                   "TextLowerDistance", "TextVerticalAdjust"});
        if (!paragraphs.empty())
            layout.align = paragraphs.front().align;
        const auto values = someProperties(object, layoutNames);
        if (values.getLength() != layoutNames.getLength())
            return 1;
        double *insets[] = {&layout.insetLeft, &layout.insetTop, &layout.insetRight,
                            &layout.insetBottom};
        for (sal_Int32 k = 0; k < 4; ++k) {
            sal_Int32 distance = 0;
            if (values[k] >>= distance)
                *insets[k] = std::max(0.0, distance / m_width);
        }
        css::drawing::TextVerticalAdjust anchor = css::drawing::TextVerticalAdjust_TOP;
        if (values[4] >>= anchor)
            layout.anchor = anchor == css::drawing::TextVerticalAdjust_CENTER   ? TextAnchor::middle
                            : anchor == css::drawing::TextVerticalAdjust_BOTTOM ? TextAnchor::bottom
                                                                                : TextAnchor::top;
        const Reference<css::beans::XPropertySet> props(object, UNO_QUERY);
        css::drawing::TextFitToSizeType fit = css::drawing::TextFitToSizeType_NONE;
        sal_Int16 scale = 100;
        if (readProperty(props, "TextFitToSize", fit) &&
            fit == css::drawing::TextFitToSizeType_AUTOFIT &&
            readProperty(props, "TextFitToSizeScale", scale) && scale > 0 && scale < 100)
            return scale / 100.0;
        return 1;
    }

    // The slide number, date and footer the layout puts on the slides.
    static bool isFurniture(const rtl::OUString &type) {
        return type.equalsAscii("com.sun.star.presentation.SlideNumberShape") ||
               type.equalsAscii("com.sun.star.presentation.FooterShape") ||
               type.equalsAscii("com.sun.star.presentation.HeaderShape") ||
               type.equalsAscii("com.sun.star.presentation.DateTimeShape");
    }

    // The link a click on the shape opens: a document or web address, or a
    // slide of the deck by its name.
    static std::string clickLink(const css::uno::Any &action, const css::uno::Any &target) {
        css::presentation::ClickAction click = css::presentation::ClickAction_NONE;
        const std::string url = utf8Of(target);
        if (!(action >>= click) || url.empty())
            return {};
        if (click == css::presentation::ClickAction_DOCUMENT)
            return url;
        if (click == css::presentation::ClickAction_BOOKMARK)
            return url.front() == '#' ? url : "#" + url;
        return {};
    }

    void addLanguages(TextBlock &block, const LanguageCounts &languages) {
        block.language = mostUsed(languages);
        for (const auto &[tag, count] : languages)
            m_deckLanguages[tag] += count;
    }

    // A table as rows of cells, each cell placed by the widths of its
    // columns and the heights of its rows.
    void readTable(const Reference<css::drawing::XShape> &shape,
                   const Reference<css::beans::XPropertySet> &props, Slide &slide) {
        Reference<css::table::XTable> table;
        if (!readProperty(props, "Model", table) || !table.is())
            return;
        Reference<css::table::XCellRange> cells(table, UNO_QUERY);
        Reference<css::table::XColumnRowRange> ranges(table, UNO_QUERY);
        if (!cells.is() || !ranges.is())
            return;
        const auto edges = [](const Reference<css::container::XIndexAccess> &lines,
                              const char *size, sal_Int32 start) {
            std::vector<sal_Int32> at{start};
            for (sal_Int32 i = 0; lines.is() && i < lines->getCount(); ++i) {
                sal_Int32 length = 0;
                readProperty(Reference<css::beans::XPropertySet>(lines->getByIndex(i), UNO_QUERY),
                             size, length);
                at.push_back(at.back() + length);
            }
            return at;
        };
        const auto origin = shape->getPosition();
        const auto xs = edges({ranges->getColumns(), UNO_QUERY}, "Width", origin.X);
        auto ys = edges({ranges->getRows(), UNO_QUERY}, "Height", origin.Y);
        TextBlock b = block(shape);
        // A row LibreOffice gives no height takes an equal share of what the
        // other rows leave of the shape's height.
        std::vector<sal_Int32> heights;
        for (std::size_t i = 1; i < ys.size(); ++i)
            heights.push_back(ys[i] - ys[i - 1]);
        const auto unsized = std::count(heights.begin(), heights.end(), 0);
        if (const double spare = b.height * m_height - (ys.back() - origin.Y);
            unsized > 0 && spare > 0)
            for (std::size_t i = 0; i < heights.size(); ++i) {
                if (heights[i] == 0)
                    heights[i] = sal_Int32(spare / double(unsized));
                ys[i + 1] = ys[i] + heights[i];
            }
        b.kind = TextBlock::Kind::table;
        double points = 0;
        LanguageCounts languages;
        const sal_Int32 rows = table->getRowCount(), columns = table->getColumnCount();
        for (sal_Int32 row = 0; row < rows; ++row) {
            std::vector<TableCell> line;
            for (sal_Int32 column = 0; column < columns; ++column) {
                const auto object = cells->getCellByPosition(column, row);
                Reference<css::table::XMergeableCell> merged(object, UNO_QUERY);
                if (merged.is() && merged->isMerged())
                    continue; // covered by the cell it is merged into
                TableCell cell;
                if (merged.is()) {
                    cell.rowSpan = std::clamp<int>(merged->getRowSpan(), 1, rows - row);
                    cell.columnSpan = std::clamp<int>(merged->getColumnSpan(), 1, columns - column);
                }
                const auto corner = [&](std::size_t c, std::size_t r) {
                    return css::awt::Point(c < xs.size() ? xs[c] : xs.back(),
                                           r < ys.size() ? ys[r] : ys.back());
                };
                const auto from = corner(std::size_t(column), std::size_t(row));
                const auto to =
                    corner(std::size_t(column + cell.columnSpan), std::size_t(row + cell.rowSpan));
                cell.box = box(from, css::awt::Size(to.X - from.X, to.Y - from.Y));
                cell.paragraphs = cellParagraphs(Reference<css::text::XText>(object, UNO_QUERY),
                                                 languages, points, cell.layout.fontFamily);
                if (!cell.paragraphs.empty())
                    readLayout(object, cell.paragraphs, cell.layout);
                line.push_back(std::move(cell));
            }
            b.rows.push_back(std::move(line));
        }
        b.fontSize = points > 0 ? points / m_widthPoints : 0.02;
        growRows(b);
        addLanguages(b, languages);
        slide.blocks.push_back(std::move(b));
    }

    // A row's height is the least it takes: rows whose text needs more grew
    // when LibreOffice laid the table out, and the shape's height is the
    // sum of the grown rows. What the shape has beyond the rows goes to the
    // rows whose text seems to need it, in proportion to the need, guessed
    // from the text's length at half an em a character.
    void growRows(TextBlock &table) const {
        const std::size_t count = table.rows.size();
        std::vector<double> heights(count), needed(count);
        for (std::size_t r = 0; r < count; ++r)
            for (const auto &cell : table.rows[r]) {
                if (cell.rowSpan != 1)
                    continue;
                heights[r] = cell.box.height;
                const double width =
                    cell.box.width - cell.layout.insetLeft - cell.layout.insetRight;
                double need = (cell.layout.insetTop + cell.layout.insetBottom) * m_width / m_height;
                for (const auto &p : cell.paragraphs) {
                    double size = 0, characters = 0;
                    for (const auto &run : p.runs) {
                        size = std::max(size, run.fontSize > 0 ? run.fontSize : table.fontSize);
                        for (const char c : run.text)
                            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
                    }
                    const double lines =
                        width > 0 ? std::max(1.0, std::ceil(characters * 0.5 * size / width)) : 1;
                    need += lines * std::max(size, table.fontSize) * 1.2 * m_width / m_height;
                }
                needed[r] = std::max(needed[r], need - heights[r]);
            }
        double rows = 0, wanted = 0;
        for (std::size_t r = 0; r < count; ++r) {
            rows += heights[r];
            wanted += std::max(0.0, needed[r]);
        }
        const double spare = table.height - rows;
        if (spare <= 0 || wanted <= 0)
            return;
        std::vector<double> tops{table.top};
        for (std::size_t r = 0; r < count; ++r)
            tops.push_back(tops.back() + heights[r] + spare * std::max(0.0, needed[r]) / wanted);
        for (std::size_t r = 0; r < count; ++r)
            for (auto &cell : table.rows[r]) {
                cell.box.top = tops[r];
                cell.box.height = tops[std::min(count, r + std::size_t(cell.rowSpan))] - tops[r];
            }
    }

    // A cell's paragraphs. LibreOffice 7.4 enumerates no paragraphs in a
    // table cell, while the cell's whole string holds its text: that string
    // then gives the paragraphs, one per line.
    std::vector<Paragraph> cellParagraphs(const Reference<css::text::XText> &cell,
                                          LanguageCounts &languages, double &points,
                                          std::string &font) {
        if (!cell.is())
            return {};
        auto result = paragraphs(cell, languages, &points, &font);
        for (const auto &p : result)
            for (const auto &run : p.runs)
                if (run.text.find_first_not_of(" \t\r\n") != std::string::npos)
                    return result;
        result.clear();
        const std::string all = toUtf8(cell->getString());
        if (all.find_first_not_of(" \t\r\n") == std::string::npos)
            return result;
        // The cell's own character and paragraph properties give the look
        // of its text.
        static const auto cellNames =
            names({"CharHeight", "CharFontName", "CharWeight", "CharPosture", "ParaAdjust"});
        const auto values = someProperties(cell, cellNames);
        TextRun look;
        TextAlign align = TextAlign::start;
        if (values.getLength() == cellNames.getLength()) {
            float height = 0, weight = 0;
            css::awt::FontSlant slant = css::awt::FontSlant_NONE;
            sal_Int16 adjust = 0;
            if ((values[0] >>= height) && height > 0) {
                look.fontSize = height / m_widthPoints;
                if (points <= 0)
                    points = height;
            }
            if (font.empty())
                font = utf8Of(values[1]);
            look.bold = (values[2] >>= weight) && weight >= css::awt::FontWeight::SEMIBOLD;
            look.italic = (values[3] >>= slant) && (slant == css::awt::FontSlant_ITALIC ||
                                                    slant == css::awt::FontSlant_OBLIQUE);
            if (values[4] >>= adjust)
                align = alignOf(adjust);
        }
        // Empty lines around the text are not drawn.
        const std::size_t first = all.find_first_not_of("\r\n"),
                          last = all.find_last_not_of("\r\n") + 1;
        for (std::size_t start = first; start <= last;) {
            const std::size_t end = std::min(all.find('\n', start), last);
            Paragraph line;
            line.align = align;
            line.runs.push_back(look);
            line.runs.back().text = all.substr(start, end - start);
            result.push_back(std::move(line));
            start = end + 1;
        }
        // Without its portions the cell's locale is unknown: its letters
        // count for no language.
        return result;
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
            if (type.equalsAscii("com.sun.star.presentation.PageShape") || isFurniture(type))
                continue;
            Reference<css::beans::XPropertySet> props(shape, UNO_QUERY);
            bool empty = false;
            if (readProperty(props, "IsEmptyPresentationObject", empty) && empty)
                continue;
            Reference<css::text::XText> text(shape, UNO_QUERY);
            if (!text.is())
                continue;
            for (const auto &paragraph : paragraphs(text, m_deckLanguages)) {
                std::string line;
                for (const auto &run : paragraph.runs)
                    line += run.text;
                result.push_back(line);
            }
        }
        return result;
    }

private:
    Deck &m_deck;
    LanguageCounts &m_deckLanguages;
    int m_slideNumber;
    double m_width, m_height, m_widthPoints;
    bool m_spacingAdds;
};

// Whether a text has a letter in it: a title of digits and separators alone
// ("3", "| |") names nothing.
bool hasLetter(std::string_view text) {
    const auto letters = lettersByScript(text);
    return letters[std::size_t(Script::western)] + letters[std::size_t(Script::asian)] +
               letters[std::size_t(Script::complex)] >
           0;
}

// The slide's first text that has a letter, from its title, body or shapes
// (not a table or the slide number, date and footer).
std::string firstText(const Slide &slide) {
    for (const auto &block : slide.blocks) {
        if (block.kind != TextBlock::Kind::text && block.kind != TextBlock::Kind::title)
            continue;
        for (const auto &p : block.paragraphs) {
            std::string text;
            for (const auto &run : p.runs)
                text += run.text;
            if (hasLetter(text))
                return text;
        }
    }
    return {};
}

} // namespace

Deck readDeck(const Reference<css::lang::XComponent> &document) {
    Deck deck;
    std::string propertyLanguage;
    Reference<css::document::XDocumentPropertiesSupplier> info(document, UNO_QUERY);
    if (info.is()) {
        auto properties = info->getDocumentProperties();
        if (properties.is()) {
            deck.title = toUtf8(properties->getTitle());
            propertyLanguage = localeTag(properties->getLanguage());
        }
    }

    Reference<css::drawing::XDrawPagesSupplier> supplier(document, UNO_QUERY_THROW);
    Reference<css::container::XIndexAccess> pages(supplier->getDrawPages(), UNO_QUERY_THROW);
    double width = 28000, height = 15750;
    LanguageCounts languages;
    // Whether the space between paragraphs is the sum of the space after one
    // and before the next (as in decks from PowerPoint) or the larger.
    bool spacingAdds = true;
    if (Reference<css::lang::XMultiServiceFactory> factory(document, UNO_QUERY); factory.is()) {
        try {
            readProperty(Reference<css::beans::XPropertySet>(
                             factory->createInstance("com.sun.star.document.Settings"), UNO_QUERY),
                         "ParagraphSummation", spacingAdds);
        } catch (const css::uno::RuntimeException &) {
            throw;
        } catch (const css::uno::Exception &) {
        }
    }
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        Reference<css::drawing::XDrawPage> page(pages->getByIndex(i), UNO_QUERY_THROW);
        Reference<css::beans::XPropertySet> props(page, UNO_QUERY);
        sal_Int32 w = 0, h = 0;
        if (i == 0 && readProperty(props, "Width", w) && readProperty(props, "Height", h) &&
            w > 0 && h > 0) {
            width = w;
            height = h;
        }
        SlideReader reader(deck, languages, int(i) + 1, width, height, spacingAdds);
        Slide slide;
        Reference<css::container::XNamed> named(page, UNO_QUERY);
        if (named.is())
            slide.name = toUtf8(named->getName());
        bool visible = true;
        slide.hidden = readProperty(props, "Visible", visible) && !visible;
        std::vector<TextBlock> titleBlocks;
        reader.readShapes(Reference<css::drawing::XShapes>(page, UNO_QUERY_THROW), slide,
                          titleBlocks);
        // The title comes first in reading order.
        slide.blocks.insert(slide.blocks.begin(), std::make_move_iterator(titleBlocks.begin()),
                            std::make_move_iterator(titleBlocks.end()));
        if (!hasLetter(slide.title))
            slide.title = firstText(slide);
        slide.notes = reader.notes(page);
        deck.slides.push_back(std::move(slide));
    }
    deck.language = mostUsed(languages);
    if (deck.language.empty())
        deck.language = propertyLanguage;
    if (deck.language.empty()) {
        css::lang::Locale locale;
        if (readProperty(Reference<css::beans::XPropertySet>(document, UNO_QUERY), "CharLocale",
                         locale))
            deck.language = localeTag(locale);
    }
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
