#pragma once

#include <QDir>
#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>
#include <memory>

#include "app/dialogs.h"
#include "app/form1_window.h"
#include "app/qt_settings.h"
#include "core/file_system.h"
#include "fake_automation.h"

namespace velloran::fakes {

// Dialogs that answer from scripts and remember what they were asked.
class ScriptedDialogs final : public Dialogs {
public:
    struct Box {
        QString text;
        int style;
        QString title;
    };
    std::vector<Box> boxes;
    std::deque<int> answers;
    std::deque<QStringList> openAnswers;
    std::deque<QString> folderAnswers;
    std::deque<QString> inputAnswers;
    QStringList shell;
    std::function<void()> onBox;

    int msgBox(QWidget *, const QString &text, int style, const QString &title) override {
        boxes.push_back({text, style, title});
        if (onBox)
            onBox();
        if (answers.empty())
            return style == kStyleYesNo ? kAnswerYes : kAnswerOk;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    QString inputBox(QWidget *, const QString &, const QString &, const QString &) override {
        return take(inputAnswers);
    }
    QStringList showOpen(QWidget *, const OpenFileRequest &) override {
        if (openAnswers.empty())
            return {};
        auto a = openAnswers.front();
        openAnswers.pop_front();
        return a;
    }
    QString browseForFolder(QWidget *, const QString &) override { return take(folderAnswers); }
    void openInShell(const QString &target) override { shell << target; }

private:
    static QString take(std::deque<QString> &q) {
        if (q.empty())
            return {};
        QString a = q.front();
        q.pop_front();
        return a;
    }
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        QDir(m_temp.path()).mkpath(QStringLiteral("prog"));
        m_settings = std::make_unique<QtSettingsStore>(m_temp.filePath(QStringLiteral("s.ini")));
        m_fs = makeNativeFileSystem();
    }
    void makeWindow() {
        m_window = std::make_unique<Form1Window>(
            Form1Services{m_dialogs, *m_settings, *m_fs, m_server,
                          m_temp.filePath(QStringLiteral("prog")), [] { return 0.5; }, QString()});
    }
    Form1Window &window() {
        if (!m_window)
            makeWindow();
        return *m_window;
    }
    QString temp(const QString &rel) const { return m_temp.filePath(rel); }

    QTemporaryDir m_temp;
    ScriptedDialogs m_dialogs;
    std::unique_ptr<QtSettingsStore> m_settings;
    std::unique_ptr<FileSystem> m_fs;
    FakePowerPoint m_server;
    std::unique_ptr<Form1Window> m_window;
};

} // namespace velloran::fakes
