#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

#include "app/dialogs.h"
#include "app/hand_cursor.h"
#include "app/pumping_automation.h"
#include "app/qt_settings.h"
#include "fake_automation.h"

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
    {
        QtSettingsStore store(file);
        EXPECT_FALSE(store.get("Text1").has_value());
        store.save("Text1", "/home/zoë/Schreibtisch/");
    }
    {
        QtSettingsStore store(file);
        EXPECT_EQ(store.get("Text1"), std::optional<std::string>("/home/zoë/Schreibtisch/"));
        store.save("Text1", "");
    }
    QtSettingsStore store(file);
    EXPECT_EQ(store.get("Text1"), std::optional<std::string>(""));
    QSettings raw(file, QSettings::IniFormat);
    EXPECT_TRUE(raw.contains(QStringLiteral("Velloran/Text1"))) << "section Velloran, key Text1";
}

TEST(Dialogs, WindowsLineEndsBecomeLineBreaks) {
    EXPECT_EQ(displayText(QStringLiteral("a\r\nb\r\rc")), QStringLiteral("a\nb\n\nc"));
}

TEST(Dialogs, AllFilesShowsNamesWithoutADot) {
    QTemporaryDir dir;
    for (const char *name : {"deck.pptx", "noext", "notes.txt"}) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QFileDialog dialog;
    configureOpenDialog(dialog,
                        {"Add", {{"PowerPoint Files (*.p*)", "*.p*"}, {"All Files (*.*)", "*.*"}}});
    dialog.setDirectory(dir.path());
    auto *model = dialog.findChild<QFileSystemModel *>();
    auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    ASSERT_TRUE(model && types);
    const auto shown = [&] {
        QStringList names;
        const QModelIndex root = model->index(dir.path());
        for (int i = 0; i < model->rowCount(root); ++i)
            names << model->index(i, 0, root).data().toString();
        names.sort();
        return names;
    };
    const auto waitFor = [&](const QStringList &expected) {
        QElapsedTimer clock;
        clock.start();
        while (shown() != expected && clock.elapsed() < 5000)
            QTest::qWait(10);
        return shown();
    };
    EXPECT_EQ(waitFor({QStringLiteral("deck.pptx")}), QStringList{QStringLiteral("deck.pptx")});

    // As a user picks it: the box's index changes, then it reports the activation.
    types->setCurrentIndex(1);
    emit types->activated(1);
    EXPECT_EQ(types->currentText(), QStringLiteral("All Files (*.*)"));
    const QStringList all{QStringLiteral("deck.pptx"), QStringLiteral("noext"),
                          QStringLiteral("notes.txt")};
    EXPECT_EQ(waitFor(all), all);
}

// While an automation call blocks, the window keeps handling its events
// (timers, paints); the call's result and failures still reach the caller.
TEST(PumpingAutomation, KeepsTheEventLoopTurningDuringACall) {
    velloran::fakes::FakePowerPoint fake;
    std::atomic<bool> release{false};
    fake.onCall = [&](const std::string &line) {
        // Blocks until the timer has ticked ten times, or gives up after 10 s.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        if (line.find("SaveAs") != std::string::npos)
            while (!release && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    auto registry = makePumpingRegistry(
        std::shared_ptr<AutomationRegistry>(&fake, [](AutomationRegistry *) {}));

    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 10)
            release = true;
    });
    timer.start(5);

    auto app = registry->create("PowerPoint.Application");
    auto pres = asObject(asObject(app->get("Presentations"), "p")
                             ->call("Open", {{"fileName", std::string("/in/a.pptx")}}),
                         "o");
    pres->call("SaveAs", {{"fileName", std::string("/out/a.htm")}, {"FileFormat", 12}});
    EXPECT_GE(ticks, 10) << "timers ran while the call was blocked";
    EXPECT_EQ(fake.log().back(),
              "call Presentation.SaveAs(fileName=\"/out/a.htm\", FileFormat=12)");

    // Failures come back to the caller with the server's description.
    fake.options().failures["Quit"] = "Quit refused";
    try {
        app->call("Quit", {});
        FAIL() << "expected a failure";
    } catch (const AutomationError &e) {
        EXPECT_STREQ(e.what(), "Quit refused");
    }
}
