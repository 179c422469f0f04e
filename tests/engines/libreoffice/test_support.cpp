#include "test_support.h"

#include "page/page_writer.h"

namespace velloran::test {

void writeFlatOdf(const fs::path &file, const std::string &type, const std::string &body,
                  const std::string &meta) {
    writeBytes(file, R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:dc="http://purl.org/dc/elements/1.1/"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.)" +
                         type + R"(">
 <office:meta>)" + meta + R"(</office:meta>
 <office:body>)" + body + "</office:body>\n</office:document>\n");
}

void writeDeck(const fs::path &file, const std::vector<std::string> &titles) {
    std::string pages;
    for (const auto &title : titles)
        pages +=
            R"(<draw:page draw:master-page-name="Default"><draw:frame presentation:class="title"
 svg:x="2cm" svg:y="2cm" svg:width="24cm" svg:height="3cm"><draw:text-box><text:p>)" +
            escapeHtml(title) + "</text:p></draw:text-box></draw:frame></draw:page>\n";
    writeFlatOdf(file, "presentation", "<office:presentation>" + pages + "</office:presentation>");
}

AutoRef open(AutomationRegistry &registry, const fs::path &file) {
    AutoRef app = registry.create("PowerPoint.Application");
    return asObject(
        asObject(app->get("Presentations"), "P")->call("Open", {{"fileName", file.string()}}),
        "Open");
}

void saveAs(const AutoRef &presentation, const fs::path &page) {
    presentation->call("SaveAs", {{"fileName", page.string()}, {"FileFormat", std::int32_t(12)}});
}

Conversion convert(AutomationRegistry &registry, const fs::path &input, const fs::path &page) {
    Conversion result;
    try {
        AutoRef p = open(registry, input);
        result.slides = asInt(asObject(p->get("Slides"), "Slides")->get("Count"), "Count");
        try {
            saveAs(p, page);
        } catch (const AutomationError &e) {
            result.error = e.what();
        }
        registry.attach("PowerPoint.Application")->call("Quit", {});
        result.ok = result.error.empty();
    } catch (const AutomationError &e) {
        result.error = e.what();
    }
    return result;
}

::testing::AssertionResult converts(AutomationRegistry &registry, const fs::path &input,
                                    const fs::path &page) {
    const Conversion c = convert(registry, input, page);
    return c.ok ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << c.error;
}

fs::path corpusDir() {
    std::error_code ec;
    const fs::path dir = VELLORAN_CORPUS_DIR;
    return fs::is_regular_file(dir / "MANIFEST.tsv", ec) ? fs::weakly_canonical(dir, ec) : "";
}

} // namespace velloran::test
