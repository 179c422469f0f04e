#pragma once

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

#include "core/file_system.h"
#include "fake_automation.h"
#include "gui/qt/main_window.h"
#include "gui/qt/qt_settings.h"
#include "scripted_window.h"

namespace velloran::fakes {

// The real window over scripted dialogs, a settings file of its own and,
// unless a test hands in another one, the recording fake server.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        QDir(m_temp.path()).mkpath(QStringLiteral("prog"));
    }
    MainWindow &window() {
        if (!m_window)
            m_window = std::make_unique<MainWindow>(WindowServices{
                m_dialogs, m_settings, *m_fs, m_automation ? *m_automation : m_server,
                m_programFolder.isEmpty() ? temp(QStringLiteral("prog")) : m_programFolder,
                [] { return 0.5; }, QString(), [this] { ++m_endRequests; }});
        return *m_window;
    }
    void press(Command command) { QTest::mouseClick(window().button(command), Qt::LeftButton); }
    QString temp(const QString &rel) const { return m_temp.filePath(rel); }
    // A file below the temporary folder, with the folders it needs.
    void file(const QString &rel, const QByteArray &content = {}) {
        QDir().mkpath(QFileInfo(temp(rel)).path());
        QFile out(temp(rel));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
    }

    QTemporaryDir m_temp;
    ScriptedWindow m_dialogs;
    QtSettingsStore m_settings{m_temp.filePath(QStringLiteral("s.ini"))};
    std::unique_ptr<FileSystem> m_fs = makeNativeFileSystem();
    FakePowerPoint m_server;
    std::shared_ptr<AutomationRegistry> m_automation; // set before window() to replace the fake
    QString m_programFolder;                          // set before window(): another program folder
    int m_endRequests = 0;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace velloran::fakes
