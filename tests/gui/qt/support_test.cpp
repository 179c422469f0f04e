#include <QAbstractProxyModel>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTimer>
#include <atomic>
#include <thread>

#include "gui/qt/dialogs.h"
#include "gui/qt/pumping_automation.h"
#include "window_fixture.h"

using namespace velloran;

TEST(Settings, MissingKeyIsNothingAndTextComesBackAsSaved) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("v.ini"));
    EXPECT_FALSE(QtSettingsStore(file).get("Text1").has_value());
    QtSettingsStore(file).save("Text1", "/home/zoë/Schreibtisch/");
    EXPECT_EQ(QtSettingsStore(file).get("Text1"), "/home/zoë/Schreibtisch/");
    // Section Velloran, key Text1.
    EXPECT_TRUE(QSettings(file, QSettings::IniFormat).contains(QStringLiteral("Velloran/Text1")));
}

TEST(Dialogs, WindowsLineEndsBecomeLineBreaks) {
    EXPECT_EQ(displayText(QStringLiteral("a\r\nb\r\rc")), QStringLiteral("a\nb\n\nc"));
}

// While an automation call blocks, the window keeps handling its events
// (timers, paints); the call's result and failures still reach the caller.
TEST(PumpingAutomation, KeepsTheEventLoopTurningDuringACall) {
    fakes::FakePowerPoint fake;
    std::atomic<bool> ticked{false};
    fake.onCall = [&](const std::string &line) {
        // Blocks until the window's timer has fired, or gives up after 10 s.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.starts_with("create") && !ticked && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    auto registry = makePumpingRegistry(
        std::shared_ptr<AutomationRegistry>(&fake, [](AutomationRegistry *) {}));
    QTimer::singleShot(0, [&] { ticked = true; });
    auto app = registry->create("PowerPoint.Application");
    EXPECT_TRUE(ticked) << "the timer ran while the call was blocked";
    fake.options().failures["Quit"] = "Quit refused";
    EXPECT_THROW(app->call("Quit", {}), AutomationError);
}

// The real dialog, offscreen: under "All Files (*.*)" a name without a dot
// is listed too, once the user picks that filter.
TEST(Dialogs, AllFilesListsNamesWithoutADot) {
    QTemporaryDir dir;
    for (const char *name : {"deck.ppt", "noext"})
        QFile(dir.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
    QFileDialog dialog;
    configureOpenDialog(
        dialog, {"Add", {{"PowerPoint Files (*.p*)", "*.p*"}, {"All Files (*.*)", "*.*"}}, true});
    dialog.setDirectory(dir.path());
    dialog.show();
    // What the dialog's views show: the rows of its proxy.
    const QAbstractProxyModel *view = dialog.proxyModel();
    const QModelIndex root = view->mapFromSource(
        qobject_cast<QFileSystemModel *>(view->sourceModel())->index(dir.path()));
    const auto listed = [&](const char *name) {
        return !view->match(view->index(0, 0, root), Qt::DisplayRole, QString::fromLatin1(name), 1,
                            Qt::MatchExactly)
                    .isEmpty();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return listed("deck.ppt"); }, 10000));
    EXPECT_FALSE(listed("noext"));
    // The filter box, chosen from the keyboard as a user does.
    auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(types);
    QTest::keyClick(types, Qt::Key_Down);
    ASSERT_EQ(dialog.selectedNameFilter(), QStringLiteral("All Files (*.*)"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return listed("noext"); }, 10000));
}
