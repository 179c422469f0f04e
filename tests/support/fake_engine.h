#pragma once

#include "core/automation.h"
#include "page/engine.h"

#include <fstream>
#include <functional>

namespace velloran::fakes {

// Stands in for an engine's program: hands over `deck` as read and "draws"
// each slide as two small picture files, recording the steps asked for.
class FakeEngine : public page::DeckEngine {
public:
    page::Deck deck;             // what readDeck() hands over
    std::set<std::string> fonts; // what installedFonts() answers
    std::string failAt;          // "read", "fonts" or "draw": that step throws
    std::function<void(const std::filesystem::path &)> afterDrawing; // given the folder
    std::vector<std::string> steps;

    page::Deck readDeck() override { return step("read"), deck; }
    std::set<std::string> installedFonts() override { return step("fonts"), fonts; }
    void drawSlides(page::Deck &drawn, const std::filesystem::path &folder,
                    const std::string &) override {
        step("draw");
        drawn.imageWidth = 640, drawn.imageHeight = 360;
        for (std::size_t i = 0; i < drawn.slides.size(); ++i) {
            const std::string stem = "slide-" + std::to_string(i + 1);
            std::ofstream(folder / (drawn.slides[i].image1x = stem + ".webp")) << "1x";
            std::ofstream(folder / (drawn.slides[i].image2x = stem + "-2x.webp")) << "2x";
        }
        if (afterDrawing)
            afterDrawing(folder);
    }

private:
    void step(const std::string &name) {
        steps.push_back(name);
        if (failAt == name)
            throw AutomationError(name + " failed");
    }
};

} // namespace velloran::fakes
