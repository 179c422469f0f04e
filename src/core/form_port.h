#pragma once

#include <cstddef>
#include <optional>
#include <string>
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

// What the open-file dialog is asked to show.
struct OpenFileRequest {
    std::string title;
    // Pairs of description and pattern; the first is active when it opens.
    std::vector<std::pair<std::string, std::string>> filters;
    bool multiSelect = true;
};

// Everything the program's logic needs from the main window and the desktop.
// The Qt window implements it; tests implement it with scripted answers and a
// record of everything shown. Row indexes are 1-based.
class FormPort {
public:
    virtual ~FormPort() = default;

    // Modal message box; returns the answer (kAnswerOk, kAnswerYes, kAnswerNo).
    virtual int msgBox(const std::string &text, int style, const std::string &title) = 0;
    // Input box; returns the empty text when cancelled.
    virtual std::string inputBox(const std::string &prompt, const std::string &title,
                                 const std::string &defaultAnswer) = 0;
    // Open-file dialog; returns the picked paths in the dialog's order, none when cancelled.
    virtual std::vector<std::string> showOpen(const OpenFileRequest &request) = 0;
    // Folder picker; returns the chosen folder (no trailing separator except at
    // a root), or the empty text when cancelled.
    virtual std::string browseForFolder(const std::string &prompt) = 0;

    virtual int mousePointer() const = 0;
    virtual void setMousePointer(int pointer) = 0;
    // Handles pending window events, user input included.
    virtual void doEvents() = 0;

    virtual void appendRows(const std::vector<std::string> &paths) = 0;
    virtual std::size_t rowCount() const = 0;
    virtual std::string rowText(std::size_t index) const = 0;
    virtual std::optional<std::size_t> selectedRow() const = 0;
    virtual void removeRow(std::size_t index) = 0;
    virtual void clearRows() = 0;

    // The output-folder box. setText1 raises the box's change notification
    // when the text differs, as a user edit does.
    virtual std::string text1() const = 0;
    virtual void setText1(const std::string &text) = 0;
    // True when "Use 'htm' as extension" is selected.
    virtual bool option1() const = 0;

    virtual void setCaption(const std::string &caption) = 0;
    // Opens a folder or an address with the desktop's default handler.
    virtual void openInShell(const std::string &pathOrAddress) = 0;

    // Start-up steps whose mechanics belong to the window.
    virtual void centerForm() = 0;
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
