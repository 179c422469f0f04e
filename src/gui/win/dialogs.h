#pragma once

#include <windows.h>

#include "core/ports.h"

namespace velloran {

// The modal boxes and pickers of the Windows window: message boxes, the
// input box of the resource script, the common open-file dialog with
// several files, the shell's folder picker and the shell itself. All of
// them are owned by the window set with setOwner().
class Win32Dialogs final : public Dialogs {
public:
    void setOwner(HWND owner) { m_owner = owner; }

    int messageBox(const std::string &text, int style, const std::string &title) override;
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultAnswer) override;
    std::vector<std::string> openFiles(const OpenFileRequest &request) override;
    std::string browseForFolder(const std::string &prompt, const std::string &startFolder) override;
    void openInShell(const std::string &pathOrAddress) override;

private:
    HWND m_owner = nullptr;
};

} // namespace velloran
