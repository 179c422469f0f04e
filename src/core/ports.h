#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velloran {

// Message-box styles and answers, with the platform's numbers.
inline constexpr int kStyleOkOnly = 0;
inline constexpr int kStyleYesNo = 4;
inline constexpr int kStyleExclamation = 48;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Mouse-pointer settings of the main window.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerBusy = 11;
inline constexpr int kPointerCustom = 99;

inline constexpr const char *kAppTitle = "Velloran";
inline constexpr const char *kErrorReportTitle = "Application Error";

// Thrown out of processEvents() once the user has closed the window: the
// handler that was running unwinds without reporting anything.
class WindowClosed : public std::exception {
public:
    const char *what() const noexcept override { return "The window was closed"; }
};

// Takes the error reports of a procedure that carries on after a failure.
class Reporter {
public:
    virtual ~Reporter() = default;
    // The whole text of one report; returns when the user has seen it.
    virtual void reportError(const std::string &text) = 0;
};

// What the open-file dialog is asked to show.
struct OpenFileRequest {
    std::string title;
    // Pairs of description and pattern; the first is active when it opens.
    std::vector<std::pair<std::string, std::string>> filters;
    bool multiSelect = true;
};

// The modal boxes and pickers, and the desktop shell. Error reports are
// message boxes with the exclamation style and their own title.
class Dialogs : public Reporter {
public:
    // Returns the answer (kAnswerOk, kAnswerYes, kAnswerNo).
    virtual int messageBox(const std::string &text, int style, const std::string &title) = 0;
    // Returns the empty text when cancelled.
    virtual std::string inputBox(const std::string &prompt, const std::string &title,
                                 const std::string &defaultAnswer) = 0;
    // The picked paths in the dialog's order; none when cancelled.
    virtual std::vector<std::string> openFiles(const OpenFileRequest &request) = 0;
    // The chosen folder (no trailing separator except at a root), or the
    // empty text when cancelled. Opens at `startFolder`.
    virtual std::string browseForFolder(const std::string &prompt,
                                        const std::string &startFolder) = 0;
    // Opens a folder or an address with the desktop's default handler.
    virtual void openInShell(const std::string &pathOrAddress) = 0;

    void reportError(const std::string &text) override {
        messageBox(text, kStyleExclamation, kErrorReportTitle);
    }
};

// The list of input files. Row indexes are 1-based.
class FileList {
public:
    virtual ~FileList() = default;
    virtual void appendRows(const std::vector<std::string> &paths) = 0;
    virtual std::size_t rowCount() const = 0;
    virtual std::string rowText(std::size_t index) const = 0;
    virtual std::optional<std::size_t> selectedRow() const = 0;
    virtual void removeRow(std::size_t index) = 0;
    virtual void clearRows() = 0;
};

// Where the pages go and which extension they get.
class OutputChoice {
public:
    virtual ~OutputChoice() = default;
    virtual std::string outputFolder() const = 0;
    // Raises the box's change notification when the text differs, as an edit does.
    virtual void setOutputFolder(const std::string &folder) = 0;
    // True for ".htm", false for ".html".
    virtual bool useHtmExtension() const = 0;
};

// The window's own mechanics: pointer, caption, events and start-up steps.
class WindowChrome {
public:
    virtual ~WindowChrome() = default;
    virtual int pointer() const = 0;
    virtual void setPointer(int pointer) = 0;
    // Handles pending window events, user input included. Throws WindowClosed
    // once the window has been closed.
    virtual void processEvents() = 0;
    virtual void setCaption(const std::string &caption) = 0;
    virtual void centre() = 0;
    virtual void applySkin(const std::string &skinFile) = 0;
    virtual void loadHandPointer(const std::string &cursorFile) = 0;
    virtual void setIcon() = 0;
    virtual void createListColumn() = 0;
};

// The per-user settings store ("Corvane" / "Velloran").
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored value, or nothing when the key was never written.
    virtual std::optional<std::string> get(const std::string &key) = 0;
    virtual void save(const std::string &key, const std::string &value) = 0;
};

} // namespace velloran
