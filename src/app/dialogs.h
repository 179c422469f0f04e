#pragma once

#include <QString>
#include <QStringList>

#include "core/form_port.h"

class QWidget;

namespace velloran {

// The modal boxes and pickers of the window, and the shell. The window shows
// them through this interface so that widget tests can script the answers.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual int msgBox(QWidget *owner, const QString &text, int style, const QString &title) = 0;
    virtual QString inputBox(QWidget *owner, const QString &prompt, const QString &title,
                             const QString &defaultAnswer) = 0;
    virtual QStringList showOpen(QWidget *owner, const OpenFileRequest &request) = 0;
    virtual QString browseForFolder(QWidget *owner, const QString &prompt) = 0;
    virtual void openInShell(const QString &pathOrAddress) = 0;
};

// The real thing: QMessageBox, QInputDialog, QFileDialog, QDesktopServices.
class QtDialogs final : public Dialogs {
public:
    int msgBox(QWidget *owner, const QString &text, int style, const QString &title) override;
    QString inputBox(QWidget *owner, const QString &prompt, const QString &title,
                     const QString &defaultAnswer) override;
    QStringList showOpen(QWidget *owner, const OpenFileRequest &request) override;
    QString browseForFolder(QWidget *owner, const QString &prompt) override;
    void openInShell(const QString &pathOrAddress) override;
};

// Message texts keep Windows line ends (CR LF, and a lone CR as an empty
// line); Qt labels want plain line feeds.
QString displayText(const QString &text);

} // namespace velloran
