#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTimer>
#include <atomic>
#include <thread>

#include "app/dialogs.h"
#include "app/hand_cursor.h"
#include "app/pumping_automation.h"
#include "window_fixture.h"

using namespace velloran;

TEST(HandCursor, ReadsPictureAndHotspotFromTheFile) {
    const auto cursor = loadCursorFile(QStringLiteral(VELLORAN_RESOURCES_DIR "/HAND-M.CUR"));
    ASSERT_TRUE(cursor.has_value());
    EXPECT_EQ(cursor->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(cursor->hotSpot(), QPoint(7, 0));
    EXPECT_FALSE(loadCursorFile(QStringLiteral(VELLORAN_RESOURCES_DIR "/velloran.ico")))
        << "an icon file is not a cursor";
    EXPECT_FALSE(loadCursorFile(QStringLiteral("/nonexistent/HAND-M.CUR")));
}

TEST(Settings, MissingKeyIsNothingAndEmptyIsKept) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("v.ini"));
    EXPECT_FALSE(QtSettingsStore(file).get("Text1").has_value());
    QtSettingsStore(file).save("Text1", "/home/zoë/Schreibtisch/");
    EXPECT_EQ(QtSettingsStore(file).get("Text1"), "/home/zoë/Schreibtisch/");
    QtSettingsStore(file).save("Text1", "");
    EXPECT_EQ(QtSettingsStore(file).get("Text1"), "");
    EXPECT_TRUE(QSettings(file, QSettings::IniFormat).contains(QStringLiteral("Velloran/Text1")))
        << "section Velloran, key Text1";
}

TEST(Dialogs, WindowsLineEndsBecomeLineBreaks) {
    EXPECT_EQ(displayText(QStringLiteral("a\r\nb\r\rc")), QStringLiteral("a\nb\n\nc"));
}

TEST(Dialogs, AllFilesShowsNamesWithoutADot) {
    QTemporaryDir dir;
    for (const char *name : {"deck.pptx", "noext", "notes.txt"})
        QFile(dir.filePath(QString::fromLatin1(name))).open(QIODevice::WriteOnly);
    QFileDialog dialog;
    configureOpenDialog(dialog,
                        {"Add", {{"PowerPoint Files (*.p*)", "*.p*"}, {"All Files (*.*)", "*.*"}}});
    dialog.setDirectory(dir.path());
    auto *model = dialog.findChild<QFileSystemModel *>();
    auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(model && types);
    QStringList names;
    const auto shows = [&](const QString &expected) {
        return fakes::waitUntil([&] {
            const QModelIndex root = model->index(dir.path());
            names.clear();
            for (int i = 0; i < model->rowCount(root); ++i)
                names << model->index(i, 0, root).data().toString();
            names.sort();
            return names.join(u' ') == expected;
        });
    };
    EXPECT_TRUE(shows(QStringLiteral("deck.pptx"))) << names.join(u' ').toStdString();
    // As a user picks it: the box's index changes, then it reports the activation.
    types->setCurrentIndex(1);
    emit types->activated(1);
    EXPECT_TRUE(shows(QStringLiteral("deck.pptx noext notes.txt")))
        << names.join(u' ').toStdString();
}

// While an automation call blocks, the window keeps handling its events
// (timers, paints); the call's result and failures still reach the caller.
TEST(PumpingAutomation, KeepsTheEventLoopTurningDuringACall) {
    fakes::FakePowerPoint fake;
    std::atomic<bool> release{false};
    fake.onCall = [&](const std::string &line) {
        // Blocks until the timer has ticked ten times, or gives up after 10 s.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (line.find("SaveAs") != line.npos && !release &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    auto registry = makePumpingRegistry(
        std::shared_ptr<AutomationRegistry>(&fake, [](AutomationRegistry *) {}));
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { release = ++ticks >= 10; });
    timer.start(5);

    auto app = registry->create("PowerPoint.Application");
    auto pres = asObject(asObject(app->get("Presentations"), "p")
                             ->call("Open", {{"fileName", std::string("/in/a.pptx")}}),
                         "o");
    pres->call("SaveAs", {{"fileName", std::string("/out/a.htm")}, {"FileFormat", 12}});
    EXPECT_GE(ticks, 10) << "timers ran while the call was blocked";
    EXPECT_EQ(fake.log().back(),
              "call Presentation.SaveAs(fileName=\"/out/a.htm\", FileFormat=12)");
    fake.options().failures["Quit"] = "Quit refused";
    EXPECT_THROW(
        try { app->call("Quit", {}); } catch (const AutomationError &e) {
            EXPECT_STREQ(e.what(), "Quit refused");
            throw;
        },
        AutomationError);
}
