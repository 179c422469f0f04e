#pragma once

#include "core/automation.h"
#include "engines/powerpoint/deck_reader.h"
#include "page/pipeline.h"

#include <memory>

namespace velloran::powerpoint {

struct OwnPageOptions {
    LanguageTag languageTag; // unset: pages carry no language
    FontList installedFonts; // unset: every font counts as installed
    page::WarningSink warn;  // unset: page::printWarning
};

// Wraps PowerPoint's automation so that the export's calls get a web page
// from every PowerPoint:
// - Presentations.Open first runs the page's input probe, so a missing,
//   empty or password-protected deck is refused before PowerPoint sees it
//   (and can never ask for a password);
// - Presentation.SaveAs(FileName, FileFormat 12) goes to PowerPoint as it
//   is when PowerPoint can still save web pages (version 14, PowerPoint
//   2010, and older); current versions have no such format, and then the
//   page is written by the page pipeline from PowerPoint's object model
//   instead, the same page the LibreOffice engine writes.
// The version is read from Application.Version once, on the first such
// SaveAs, so the choice never costs a failed call or an error box. Every
// other member passes through unchanged.
std::shared_ptr<AutomationRegistry> makeOwnPageRegistry(std::shared_ptr<AutomationRegistry> inner,
                                                        OwnPageOptions options = {});

// True when a PowerPoint whose Application.Version reads `version`
// ("14.0", "16.0") can save web pages itself.
bool savesWebPages(const std::string &version);

} // namespace velloran::powerpoint
