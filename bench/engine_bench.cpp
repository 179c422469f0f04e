// Measurements of the LibreOffice engine's steps, run by hand or by bench/run.
//
//   velloran_engine_bench read DECK...
//       Per deck, today's model read (thousands of UNO calls) against one
//       call: LibreOffice's flat-XML export of the deck into a file in the
//       worker's own temporary folder, parsed with libxml2 (every text
//       paragraph's text gathered, as a model read would). Wall and CPU
//       (ours and the worker's) of each, and the size of the flat XML.
//   velloran_engine_bench draw FOLDER DECK...
//       Draws every slide as the engine does (a BMP at the 2x size) and keeps
//       the drawings in FOLDER, for `webp`.
//   velloran_engine_bench webp BMP...
//       Encodes the drawings at 2x and, halved, at 1x with a grid of WebP
//       settings on one thread: CPU seconds and bytes per slide of each,
//       against the settings the engine uses.
//
// The worker runs on a private profile in a temporary folder, like the
// engine's, and without network.

#include "engines/libreoffice/office_engine.h"
#include "engines/libreoffice/page_reader.h"
#include "engines/libreoffice/process_supervisor.h"
#include "engines/libreoffice/slide_renderer.h"
#include "engines/libreoffice/uno_connection.h"
#include "engines/libreoffice/uno_text.h"
#include "engines/libreoffice/webp_encoder.h"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace velloran;
using namespace velloran::libreoffice;
namespace css = com::sun::star;
namespace fs = std::filesystem;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double processCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double threadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Wall, our CPU and the worker's CPU of one piece of work.
struct Cost {
    double wall = 0, ours = 0, worker = 0;
    Cost &operator+=(const Cost &o) {
        wall += o.wall;
        ours += o.ours;
        worker += o.worker;
        return *this;
    }
};

template <class F> Cost measure(pid_t worker, F &&body) {
    const double wall = now(), ours = processCpu(), theirs = cpuSecondsOf(worker);
    body();
    return {now() - wall, processCpu() - ours, cpuSecondsOf(worker) - theirs};
}

struct Office {
    fs::path temp;
    EngineOptions options;
    UnoConnection connection;

    Office()
        : temp(fs::temp_directory_path() / ("velloran-engine-bench-" + std::to_string(getpid()))),
          options(optionsIn(temp)), connection(options, [] {}) {
        connection.start();
    }
    ~Office() {
        connection.stop();
        std::error_code ec;
        fs::remove_all(temp, ec);
    }

    static EngineOptions optionsIn(const fs::path &folder) {
        EngineOptions o;
        o.profileRoot = folder / "profiles";
        return o;
    }

    pid_t pid() const { return connection.process().pid(); }

    Reference<css::lang::XComponent> load(const fs::path &deck) {
        auto props = properties({
            prop("Hidden", css::uno::Any(true)),
            prop("ReadOnly", css::uno::Any(true)),
            prop("UpdateDocMode", css::uno::Any(css::document::UpdateDocMode::NO_UPDATE)),
            prop("MacroExecutionMode", css::uno::Any(css::document::MacroExecMode::NEVER_EXECUTE)),
        });
        return connection.desktop()->loadComponentFromURL(fileUrl(fs::absolute(deck)), "_blank", 0,
                                                          props);
    }

    static void close(const Reference<css::lang::XComponent> &doc) {
        Reference<css::util::XCloseable>(doc, UNO_QUERY_THROW)->close(true);
    }
};

// Gathers the text of every paragraph (text:p, text:h) as a model read of the
// flat XML would, and counts the paragraphs.
std::size_t gatherText(xmlNode *node, std::string &text) {
    std::size_t paragraphs = 0;
    for (; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        const char *name = reinterpret_cast<const char *>(node->name);
        if (std::strcmp(name, "binary-data") == 0)
            continue;
        if (std::strcmp(name, "p") == 0 || std::strcmp(name, "h") == 0) {
            xmlChar *content = xmlNodeGetContent(node);
            if (content)
                text += reinterpret_cast<const char *>(content);
            xmlFree(content);
            ++paragraphs;
            continue;
        }
        paragraphs += gatherText(node->children, text);
    }
    return paragraphs;
}

int benchRead(const std::vector<fs::path> &decks) {
    Office office;
    const fs::path xmlFile = office.temp / "deck.fodp";
    Cost load, today, exportXml, parse;
    std::uintmax_t xmlBytes = 0;
    int read = 0;
    std::printf("%-44s %9s %9s %9s %9s %9s\n", "deck", "load", "UNO read", "XML export",
                "XML parse", "XML KiB");
    for (const auto &deck : decks) {
        try {
            Reference<css::lang::XComponent> doc;
            const Cost l = measure(office.pid(), [&] { doc = office.load(deck); });
            if (!doc.is())
                continue;
            page::Deck model;
            const Cost t = measure(office.pid(), [&] { model = readDeck(doc); });
            const Cost e = measure(office.pid(), [&] {
                Reference<css::frame::XStorable> storable(doc, UNO_QUERY_THROW);
                storable->storeToURL(
                    fileUrl(xmlFile),
                    properties({prop("FilterName", css::uno::Any(rtl::OUString(
                                                       "OpenDocument Presentation Flat XML")))}));
            });
            std::size_t paragraphs = 0;
            const Cost p = measure(office.pid(), [&] {
                xmlDoc *xml =
                    xmlReadFile(xmlFile.c_str(), nullptr, XML_PARSE_HUGE | XML_PARSE_NONET);
                if (!xml)
                    throw std::runtime_error("the flat XML does not parse");
                std::string text;
                paragraphs = gatherText(xmlDocGetRootElement(xml), text);
                xmlFreeDoc(xml);
            });
            const auto bytes = fs::file_size(xmlFile);
            Office::close(doc);
            load += l;
            today += t;
            exportXml += e;
            parse += p;
            xmlBytes += bytes;
            ++read;
            // Cost of each: wall (our CPU + worker CPU), milliseconds.
            auto cell = [](const Cost &c) {
                char buf[64];
                std::snprintf(buf, sizeof buf, "%5.0f(%3.0f+%3.0f)", c.wall * 1000, c.ours * 1000,
                              c.worker * 1000);
                return std::string(buf);
            };
            std::printf("%-44.44s %s %s %s %s %7ju  %zu slides, %zu paragraphs\n",
                        deck.filename().c_str(), cell(l).c_str(), cell(t).c_str(), cell(e).c_str(),
                        cell(p).c_str(), bytes / 1024, model.slides.size(), paragraphs);
        } catch (const css::uno::Exception &e) {
            std::printf("%-44.44s failed: %s\n", deck.filename().c_str(),
                        toUtf8(e.Message).c_str());
        } catch (const std::exception &e) {
            std::printf("%-44.44s failed: %s\n", deck.filename().c_str(), e.what());
        }
    }
    if (read == 0)
        return 1;
    auto per = [&](const char *what, const Cost &c) {
        std::printf("  %-34s wall %7.1f ms, our CPU %7.1f ms, worker CPU %7.1f ms per deck\n", what,
                    c.wall * 1000 / read, c.ours * 1000 / read, c.worker * 1000 / read);
    };
    std::printf("\n%d decks:\n", read);
    per("load", load);
    per("UNO read (today)", today);
    per("flat-XML export", exportXml);
    per("flat-XML parse (libxml2)", parse);
    Cost xml = exportXml;
    xml += parse;
    per("flat XML, export and parse", xml);
    std::printf("  flat XML %.1f KiB per deck; one call against today: wall %.2f, CPU %.2f\n",
                double(xmlBytes) / 1024 / read, xml.wall / today.wall,
                (xml.ours + xml.worker) / (today.ours + today.worker));
    return 0;
}

int benchDraw(const fs::path &folder, const std::vector<fs::path> &decks) {
    Office office;
    fs::create_directories(folder);
    int drawn = 0;
    Cost cost;
    for (const auto &deck : decks) {
        try {
            auto doc = office.load(deck);
            if (!doc.is())
                continue;
            const page::Deck model = readDeck(doc);
            Reference<css::drawing::XDrawPagesSupplier> supplier(doc, UNO_QUERY_THROW);
            Reference<css::container::XIndexAccess> pages(supplier->getDrawPages(),
                                                          UNO_QUERY_THROW);
            auto filter =
                css::drawing::GraphicExportFilter::create(office.connection.remoteContext());
            auto filterData = properties({
                prop("PixelWidth", css::uno::Any(sal_Int32(model.imageWidth * 2))),
                prop("PixelHeight", css::uno::Any(sal_Int32(model.imageHeight * 2))),
            });
            for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
                Reference<css::lang::XComponent> page(pages->getByIndex(i), UNO_QUERY_THROW);
                filter->setSourceDocument(page);
                const fs::path out =
                    folder / (deck.stem().string() + "-" + std::to_string(i + 1) + ".bmp");
                auto descriptor = properties({
                    prop("URL", css::uno::Any(fileUrl(out))),
                    prop("MediaType", css::uno::Any(rtl::OUString("image/x-MS-bmp"))),
                    prop("FilterData", css::uno::Any(filterData)),
                });
                cost += measure(office.pid(), [&] { filter->filter(descriptor); });
                ++drawn;
            }
            Office::close(doc);
        } catch (const css::uno::Exception &e) {
            std::printf("%s failed: %s\n", deck.filename().c_str(), toUtf8(e.Message).c_str());
        }
    }
    std::printf("%d slides drawn: wall %.1f ms, worker CPU %.1f ms per slide\n", drawn,
                cost.wall * 1000 / std::max(drawn, 1), cost.worker * 1000 / std::max(drawn, 1));
    return drawn > 0 ? 0 : 1;
}

int benchWebp(const std::vector<fs::path> &drawings) {
    std::vector<BgrImage> images;
    for (const auto &file : drawings)
        images.push_back(readBmp(file));
    if (images.empty())
        return 1;
    struct Row {
        const char *name;
        WebpSettings settings;
    };
    const std::vector<Row> grid = {
        {"today (q80 m2)", kSlideWebp},      {"q80 m0", {80, 0, 60, 50, 4}},
        {"q80 m1", {80, 1, 60, 50, 4}},      {"q80 m3", {80, 3, 60, 50, 4}},
        {"q80 m4", {80, 4, 60, 50, 4}},      {"q80 m2 sns0", {80, 2, 60, 0, 4}},
        {"q80 m2 seg1", {80, 2, 60, 50, 1}}, {"q80 m1 seg1", {80, 1, 60, 50, 1}},
        {"q75 m1", {75, 1, 60, 50, 4}},      {"q75 m3", {75, 3, 60, 50, 4}},
    };
    const std::size_t n = images.size();
    double baseCpu = 0, baseBytes = 0;
    std::printf("%zu slides, each encoded at 2x and halved to 1x, one thread:\n", n);
    std::printf("  %-18s %12s %14s %10s %10s\n", "settings", "CPU ms/slide", "bytes/slide",
                "CPU/today", "bytes/today");
    for (const auto &row : grid) {
        double cpu = 0, bytes = 0;
        for (const auto &image : images) {
            const double started = threadCpu();
            const WebpPair pair = encodeWebpFullAndHalf(image, row.settings, 1);
            cpu += threadCpu() - started;
            bytes += double(pair.full.size() + pair.half.size());
        }
        if (baseCpu == 0) {
            baseCpu = cpu;
            baseBytes = bytes;
        }
        std::printf("  %-18s %12.1f %14.0f %10.2f %10.2f\n", row.name, cpu * 1000 / double(n),
                    bytes / double(n), cpu / baseCpu, bytes / baseBytes);
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each row as soon as it is measured
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<fs::path> files;
    const std::size_t first = !args.empty() && args[0] == "draw" ? 2 : 1;
    for (std::size_t i = first; i < args.size(); ++i)
        files.emplace_back(args[i]);
    try {
        if (args.size() > 1 && args[0] == "read")
            return benchRead(files);
        if (args.size() > 2 && args[0] == "draw")
            return benchDraw(args[1], files);
        if (args.size() > 1 && args[0] == "webp")
            return benchWebp(files);
    } catch (const std::exception &e) {
        std::cerr << "velloran_engine_bench: " << e.what() << '\n';
        return 1;
    }
    std::cerr << "usage: velloran_engine_bench read DECK... | draw FOLDER DECK... | webp BMP...\n";
    return 2;
}
