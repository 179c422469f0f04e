// Takes the screenshots we look at when changing the window: the list after a
// drop, and the window during an export run while the automation server is
// busy. Run it on a real display (Xvfb with a window manager) so that the
// captures include the title bar:
//   velloran_screenshots OUTDIR DROPPED_FOLDER
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <atomic>
#include <thread>

#include "app/pumping_automation.h"
#include "window_fixture.h"

using namespace velloran;

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: velloran_screenshots OUTDIR DROPPED_FOLDER\n");
        return 2;
    }
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    const QString dropped = QString::fromLocal8Bit(argv[2]);
    auto shoot = [&](const QString &name) {
        QApplication::primaryScreen()->grabWindow(0).save(outDir + QLatin1Char('/') + name);
    };

    fakes::ScriptedWindow dialogs;
    QtSettingsStore settings(outDir + QStringLiteral("/settings.ini"));
    auto fs = makeNativeFileSystem();
    fakes::FakePowerPoint server;
    std::atomic<bool> stalling{false};
    server.onCall = [&](const std::string &line) {
        if (line.find("SaveAs") != std::string::npos && line.find("second") != std::string::npos) {
            stalling = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            stalling = false;
        }
    };
    auto automation = makePumpingRegistry(
        std::shared_ptr<AutomationRegistry>(&server, [](AutomationRegistry *) {}));
    MainWindow window({dialogs, settings, *fs, *automation, QApplication::applicationDirPath(),
                       [] { return 0.5; }, QString()});
    window.load();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::qWait(500);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    QWidget *target = window.listView()->viewport();
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QTest::qWait(300);
    shoot(QStringLiteral("list-after-drop.png"));

    window.clearRows();
    window.appendRows({"/decks/first.pptx", "/decks/second.pptx", "/decks/third.odp"});
    QTimer shot;
    shot.setInterval(100);
    QObject::connect(&shot, &QTimer::timeout, [&] {
        if (stalling) {
            shoot(QStringLiteral("run-progress.png"));
            shot.stop();
        }
    });
    shot.start();
    window.button(Command::ExportAll)->click();
    return 0;
}
