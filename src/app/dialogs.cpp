#include "app/dialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

namespace velloran {

QString displayText(const QString &text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

int QtDialogs::msgBox(QWidget *owner, const QString &text, int style, const QString &title) {
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(displayText(text));
    box.setTextFormat(Qt::PlainText);
    if (style == kStyleYesNo) {
        box.setIcon(QMessageBox::NoIcon);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    }
    box.setIcon(style == kStyleExclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return kAnswerOk;
}

QString QtDialogs::inputBox(QWidget *owner, const QString &prompt, const QString &title,
                            const QString &defaultAnswer) {
    bool ok = false;
    const QString answer = QInputDialog::getText(owner, title, displayText(prompt),
                                                 QLineEdit::Normal, defaultAnswer, &ok);
    return ok ? answer : QString();
}

QStringList QtDialogs::showOpen(QWidget *owner, const OpenFileRequest &request) {
    QStringList filters;
    for (const auto &[description, pattern] : request.filters) {
        Q_UNUSED(pattern);
        filters << QString::fromStdString(description);
    }
    const QString filter = filters.join(QStringLiteral(";;"));
    const QString title = QString::fromStdString(request.title);
    QStringList picked;
    if (request.multiSelect)
        picked = QFileDialog::getOpenFileNames(owner, title, QString(), filter);
    else if (const QString one = QFileDialog::getOpenFileName(owner, title, QString(), filter);
             !one.isEmpty())
        picked << one;
    for (auto &path : picked)
        path = QDir::toNativeSeparators(path);
    return picked;
}

QString QtDialogs::browseForFolder(QWidget *owner, const QString &prompt) {
    return QDir::toNativeSeparators(QFileDialog::getExistingDirectory(owner, prompt));
}

void QtDialogs::openInShell(const QString &pathOrAddress) {
    const QUrl url = pathOrAddress.contains(QStringLiteral("://"))
                         ? QUrl(pathOrAddress)
                         : QUrl::fromLocalFile(pathOrAddress);
    QDesktopServices::openUrl(url);
}

} // namespace velloran
