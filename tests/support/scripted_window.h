#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/main_window_logic.h"

namespace velloran::fakes {

// A window without a screen: dialogs answer from scripts, and everything the
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

    // Scripts, consumed front to back. An unscripted message box answers OK/Yes.
    std::deque<int> answers;
    std::deque<std::string> inputAnswers;
    std::deque<std::vector<std::string>> openAnswers;
    std::deque<std::string> folderAnswers;

    // Records.
    std::vector<Box> boxes;
    std::vector<std::string> inputPrompts;
    std::vector<OpenFileRequest> openRequests;
    std::vector<std::string> folderPrompts; // "prompt|start folder"
    std::vector<int> pointerHistory;
    std::vector<std::string> captions;
    std::vector<std::string> shellOpened;
    std::vector<std::string> events;      // "box:...", "pointer:11", "caption:..." ...
    std::vector<std::size_t> appendSizes; // rows per appendRows call
    int processEventsCalls = 0;
    std::function<void()> onProcessEvents;
    std::function<void()> onFolderChange;

    std::vector<std::string> rows;
    std::optional<std::size_t> selection;
    std::string folder;
    bool htm = true;
    int pointerSetting = kPointerDefault;

    WindowPorts ports() { return {*this, *this, *this, *this}; }

    int messageBox(const std::string &text, int style, const std::string &title) override;
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultAnswer) override;
    std::vector<std::string> openFiles(const OpenFileRequest &request) override;
    std::string browseForFolder(const std::string &prompt, const std::string &start) override;
    void openInShell(const std::string &pathOrAddress) override;

    void appendRows(const std::vector<std::string> &paths) override;
    std::size_t rowCount() const override { return rows.size(); }
    std::string rowText(std::size_t index) const override { return rows.at(index - 1); }
    std::optional<std::size_t> selectedRow() const override { return selection; }
    void removeRow(std::size_t index) override;
    void clearRows() override { rows.clear(); }

    std::string outputFolder() const override { return folder; }
    void setOutputFolder(const std::string &f) override;
    bool useHtmExtension() const override { return htm; }

    int pointer() const override { return pointerSetting; }
    void setPointer(int p) override;
    void processEvents() override;
    void setCaption(const std::string &caption) override;
    void centre() override { events.push_back("centre"); }
    void applySkin(const std::string &f) override { events.push_back("skin:" + f); }
    void loadHandPointer(const std::string &f) override { events.push_back("cursor:" + f); }
    void setIcon() override { events.push_back("icon"); }
    void createListColumn() override { events.push_back("column"); }

    // Texts of the message boxes shown, in order.
    std::vector<std::string> boxTexts() const;
};

} // namespace velloran::fakes
