#pragma once

#include <QString>

#include "core/ports.h"

class QFileDialog;
class QWidget;

namespace velloran {

// The real boxes and pickers: QMessageBox, QInputDialog, QFileDialog and
// QDesktopServices, modal to the owner window.
class QtDialogs final : public Dialogs {
public:
    void setOwner(QWidget *owner) { m_owner = owner; }

    int messageBox(const std::string &text, int style, const std::string &title) override;
    std::string inputBox(const std::string &prompt, const std::string &title,
                         const std::string &defaultAnswer) override;
    std::vector<std::string> openFiles(const OpenFileRequest &request) override;
    std::string browseForFolder(const std::string &prompt, const std::string &startFolder) override;
    void openInShell(const std::string &pathOrAddress) override;

private:
    QWidget *m_owner = nullptr;
};

// Message texts keep Windows line ends (CR LF, and a lone CR as an empty
// line); Qt labels want plain line feeds.
QString displayText(const QString &text);

// Sets up an open-file dialog for the request. A filter whose pattern is
// "*.*" shows every file, names without a dot included, as it does on
// Windows; its caption stays as given.
void configureOpenDialog(QFileDialog &dialog, const OpenFileRequest &request);

} // namespace velloran
