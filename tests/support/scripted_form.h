#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/form_port.h"

namespace velloran::fakes {

// A window without a screen: dialogs answer from scripts, and everything the
// logic shows or sets is recorded in order in `events`.
class ScriptedForm final : public FormPort {
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
    std::vector<std::string> folderPrompts;
    std::vector<int> pointerHistory;
    std::vector<std::string> captions;
    std::vector<std::string> shellOpened;
    std::vector<std::string> events; // "box:...", "pointer:11", "caption:..." ...
    int doEventsCalls = 0;
    std::function<void()> onDoEvents;
    std::function<void()> onText1Change;

    std::vector<std::string> rows;
    std::optional<std::size_t> selection;
    std::string text;
    bool htm = true;
    int pointer = kPointerDefault;

    int msgBox(const std::string &text, int style, const std::string &title) override;
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultAnswer) override;
    std::vector<std::string> showOpen(const OpenFileRequest &request) override;
    std::string browseForFolder(const std::string &prompt) override;
    int mousePointer() const override { return pointer; }
    void setMousePointer(int p) override;
    void doEvents() override;
    void appendRows(const std::vector<std::string> &paths) override;
    std::size_t rowCount() const override { return rows.size(); }
    std::string rowText(std::size_t index) const override { return rows.at(index - 1); }
    std::optional<std::size_t> selectedRow() const override { return selection; }
    void removeRow(std::size_t index) override;
    void clearRows() override { rows.clear(); }
    std::string text1() const override { return text; }
    void setText1(const std::string &t) override;
    bool option1() const override { return htm; }
    void setCaption(const std::string &caption) override;
    void openInShell(const std::string &pathOrAddress) override;
    void centerForm() override { events.push_back("center"); }
    void applySkin(const std::string &f) override { events.push_back("skin:" + f); }
    void loadHandPointer(const std::string &f) override { events.push_back("cursor:" + f); }
    void setIcon() override { events.push_back("icon"); }
    void createListColumn() override { events.push_back("column"); }

    // Texts of the message boxes shown, in order.
    std::vector<std::string> boxTexts() const;
};

} // namespace velloran::fakes
