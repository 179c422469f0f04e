#include "page/pipeline.h"

#include "core/automation.h"
#include "core/text.h"
#include "page/companion_folder.h"
#include "page/file_probe.h"
#include "page/font_check.h"
#include "page/page_writer.h"
#include "page/step_times.h"

#include <cstdio>
#include <set>

namespace velloran::page {

namespace fs = std::filesystem;

namespace {

std::string joined(const std::vector<std::string> &names) {
    std::string out;
    for (const auto &name : names)
        out += (out.empty() ? "" : ", ") + name;
    return out;
}

} // namespace

void printWarning(const std::string &line) {
    std::fprintf(stderr, "Warning: %s\n", printableName(line).c_str());
}

void checkBeforeOpening(const fs::path &deck, const std::string &displayName) {
    if (auto problem = checkInputFile(deck, displayName))
        throw AutomationError(*problem);
}

void savePage(DeckEngine &engine, const PageJob &job, const WarningSink &warn) {
    const fs::path staging = makeStagingFolder(job.page, job.deck);
    PageContext context;
    context.fallbackTitle = job.deck.stem().string();
    context.folderName = companionFolder(job.page).filename().string();
    context.pageName = job.page.filename().string();
    context.deckFolder = job.deck.parent_path();
    context.pageFolder = job.page.parent_path();
    std::vector<std::string> warnings;
    try {
        context.deckFolderUrl = engine.deckFolderUrl();
        Deck deck;
        std::set<std::string> installed;
        {
            StepTimer timer("read");
            deck = engine.readDeck();
            installed = engine.installedFonts();
        }
        {
            StepTimer timer("render");
            engine.drawSlides(deck, staging, context.pageName);
        }
        {
            StepTimer timer("write");
            const auto dropped = writePage(deck, context, staging / kStagedMainName, staging);
            if (!dropped.empty())
                warnings.push_back(job.deckName + ": links to files that are not there dropped: " +
                                   joined({dropped.begin(), dropped.end()}) + ".");
        }
        if (const auto fonts = unmappedFonts(deck.fonts, installed); !fonts.empty())
            warnings.push_back(job.deckName + ": fonts not installed, drawn in other fonts: " +
                               joined(fonts) + ".");
        std::vector<std::string> slides;
        for (const int number : deck.slidesWithUndrawnPictures)
            slides.push_back(std::to_string(number));
        if (!slides.empty())
            warnings.push_back(job.deckName +
                               ": pictures too large to draw or unreadable, left blank on slides " +
                               joined(slides) + ".");
        if (deck.linkedContentNotLoaded)
            warnings.push_back(job.deckName + ": linked content not loaded.");
    } catch (...) {
        discardStaging(staging);
        throw;
    }
    {
        StepTimer timer("publish");
        publishStaged(staging, job.page, job.deck);
    }
    for (const auto &line : warnings)
        warn ? warn(line) : printWarning(line);
}

} // namespace velloran::page
