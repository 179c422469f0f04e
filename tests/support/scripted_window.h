#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/main_window_logic.h"

namespace velloran::fakes {

// A window without a screen: dialogs answer from scripts (an unscripted box
// answers OK/Yes, an unscripted picker is cancelled), and everything the
// logic shows or sets is recorded in order in `events`.
class ScriptedWindow final : public Dialogs,
                             public FileList,
                             public OutputChoice,
                             public WindowChrome {
public:
    struct Box {
        std::string text;
        int style;
        std::string title;
    };

    std::deque<int> answers;
    std::deque<std::string> inputAnswers;
    std::deque<std::vector<std::string>> openAnswers;
    std::deque<std::string> folderAnswers;

    std::vector<Box> boxes;
    std::vector<OpenFileRequest> openRequests;
    // Everything else in order: "box:text", "input:prompt|title|default",
    // "folder:prompt|start", "shell:target", "rows:3" (one append of three),
    // "pointer:11", "caption:text", "centre", "skin:file" ...
    std::vector<std::string> events;
    int processEventsCalls = 0;
    std::function<void()> onFolderChange;

    std::vector<std::string> rows;
    std::optional<std::size_t> selection;
    std::string folder;
    bool htm = true;
    int pointerSetting = kPointerDefault;

    WindowPorts ports() { return {*this, *this, *this, *this}; }

    int messageBox(const std::string &text, int style, const std::string &title) override {
        boxes.push_back({text, style, title});
        events.push_back("box:" + text);
        return next(answers, style == kStyleYesNo ? kAnswerYes : kAnswerOk);
    }
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultAnswer) override {
        events.push_back("input:" + prompt + "|" + title + "|" + defaultAnswer);
        return next(inputAnswers, {});
    }
    std::vector<std::string> openFiles(const OpenFileRequest &request) override {
        openRequests.push_back(request);
        return next(openAnswers, {});
    }
    std::string browseForFolder(const std::string &prompt, const std::string &start) override {
        events.push_back("folder:" + prompt + "|" + start);
        return next(folderAnswers, {});
    }
    void openInShell(const std::string &target) override { events.push_back("shell:" + target); }

    void appendRows(const std::vector<std::string> &paths) override {
        events.push_back("rows:" + std::to_string(paths.size()));
        rows.insert(rows.end(), paths.begin(), paths.end());
    }
    std::size_t rowCount() const override { return rows.size(); }
    std::string rowText(std::size_t index) const override { return rows.at(index - 1); }
    std::optional<std::size_t> selectedRow() const override { return selection; }
    void removeRow(std::size_t index) override {
        if (index < 1 || index > rows.size())
            throw std::out_of_range("Index out of bounds");
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(index - 1));
    }
    void clearRows() override { rows.clear(); }

    std::string outputFolder() const override { return folder; }
    void setOutputFolder(const std::string &f) override {
        if (f != std::exchange(folder, f) && onFolderChange)
            onFolderChange();
    }
    bool useHtmExtension() const override { return htm; }

    int pointer() const override { return pointerSetting; }
    void setPointer(int p) override {
        pointerSetting = p;
        events.push_back("pointer:" + std::to_string(p));
    }
    void processEvents() override { ++processEventsCalls; }
    void setCaption(const std::string &caption) override { events.push_back("caption:" + caption); }
    void centre() override { events.push_back("centre"); }
    void applySkin(const std::string &f) override { events.push_back("skin:" + f); }
    void loadHandPointer(const std::string &f) override { events.push_back("cursor:" + f); }
    void setIcon() override { events.push_back("icon"); }
    void createListColumn() override { events.push_back("column"); }

    std::vector<std::string> boxTexts() const { return recorded("box:"); }
    // The events that begin with `kind`, without it: recorded("caption:").
    std::vector<std::string> recorded(const std::string &kind) const {
        std::vector<std::string> out;
        for (const auto &e : events)
            if (e.starts_with(kind))
                out.push_back(e.substr(kind.size()));
        return out;
    }

private:
    template <class T> static T next(std::deque<T> &script, T otherwise) {
        if (script.empty())
            return otherwise;
        T answer = std::move(script.front());
        script.pop_front();
        return answer;
    }
};

} // namespace velloran::fakes
