#include "gui/qt/dialogs.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

#include "core/path_rules.h"

namespace velloran {

namespace {

QString qs(const std::string &s) {
    return QString::fromStdString(s);
}

} // namespace

QString displayText(const QString &text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

int QtDialogs::messageBox(const std::string &text, int style, const std::string &title) {
    QMessageBox box(m_owner);
    box.setWindowTitle(qs(title));
    box.setText(displayText(qs(text)));
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

std::string QtDialogs::inputBox(const std::string &prompt, const std::string &title,
                                const std::string &defaultAnswer) {
    bool ok = false;
    const QString answer = QInputDialog::getText(m_owner, qs(title), displayText(qs(prompt)),
                                                 QLineEdit::Normal, qs(defaultAnswer), &ok);
    return ok ? answer.toStdString() : std::string();
}

void configureOpenDialog(QFileDialog &dialog, const OpenFileRequest &request) {
    dialog.setWindowTitle(qs(request.title));
    dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles
                                           : QFileDialog::ExistingFile);
    // Windows' native dialog already shows every file for "*.*"; elsewhere
    // Qt's own dialog is used, so that its file model can be told.
    if (!kNativePaths.windows)
        dialog.setOption(QFileDialog::DontUseNativeDialog);
    QStringList captions;
    QStringList everyFile;
    for (const auto &[caption, pattern] : request.filters) {
        captions << qs(caption);
        if (pattern == "*.*")
            everyFile << qs(caption);
    }
    dialog.setNameFilters(captions);
    if (kNativePaths.windows)
        return;
    // Qt reads "*.*" literally and hides names without a dot. The dialog's
    // file model sits behind the proxy a dialog may be given; when the user
    // picks an every-file filter, and after the dialog has applied it (hence
    // queued), the model's filter is widened to "*".
    auto *proxy = new QIdentityProxyModel(&dialog);
    dialog.setProxyModel(proxy);
    auto *model = qobject_cast<QFileSystemModel *>(proxy->sourceModel());
    if (!model)
        return;
    const auto widen = [model, everyFile](const QString &filter) {
        if (everyFile.contains(filter))
            model->setNameFilters({QStringLiteral("*")});
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, model, widen, Qt::QueuedConnection);
    widen(dialog.selectedNameFilter());
}

std::vector<std::string> QtDialogs::openFiles(const OpenFileRequest &request) {
    QFileDialog dialog(m_owner);
    configureOpenDialog(dialog, request);
    std::vector<std::string> picked;
    if (dialog.exec() != QDialog::Accepted)
        return picked;
    for (const QString &path : dialog.selectedFiles())
        picked.push_back(QDir::toNativeSeparators(path).toStdString());
    return picked;
}

std::string QtDialogs::browseForFolder(const std::string &prompt, const std::string &startFolder) {
    return QDir::toNativeSeparators(
               QFileDialog::getExistingDirectory(m_owner, qs(prompt), qs(startFolder)))
        .toStdString();
}

void QtDialogs::openInShell(const std::string &pathOrAddress) {
    const QString target = qs(pathOrAddress);
    const QUrl url =
        target.contains(QStringLiteral("://")) ? QUrl(target) : QUrl::fromLocalFile(target);
    QDesktopServices::openUrl(url);
}

} // namespace velloran
