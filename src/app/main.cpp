#include <QApplication>
#include <QDir>
#include <QTime>
#include <random>

#include "app/automation_backend.h"
#include "app/command_line.h"
#include "cli/arguments.h"
#include "core/build_config.h"
#include "gui/qt/dialogs.h"
#include "gui/qt/main_window.h"
#include "gui/qt/program_folder.h"
#include "gui/qt/pumping_automation.h"
#include "gui/qt/qt_settings.h"

using namespace velloran;

namespace {

int runWindow(int argc, char **argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloran"));
    QApplication::setOrganizationName(QStringLiteral("Corvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersionText));

    // Seeded from the seconds since midnight, as the home-page draw always was.
    std::mt19937 generator(
        static_cast<unsigned>(QTime::currentTime().msecsSinceStartOfDay() / 1000));
    std::uniform_real_distribution<double> uniform(0.0, 1.0);

    QtDialogs dialogs;
    QtSettingsStore settings;
    auto fs = makeNativeFileSystem();
    auto automation = makePumpingRegistry(makePlatformAutomation());
    MainWindow window({dialogs, settings, *fs, *automation, programFolder(),
                       [&] { return uniform(generator); }, QString::fromUtf8(kHomePage)});
    dialogs.setOwner(&window);
    window.load();
    window.show();
    // QApplication has taken its own options out; what is left are the files
    // a file manager asks us to open, added as a drop of them would add them.
    window.openPaths(pathsToOpen(QApplication::arguments()));
    const int status = QApplication::exec();
    shutdownPlatformAutomation();
    return status;
}

} // namespace

int main(int argc, char **argv) {
    if (isCommandLineCall(std::vector<std::string>(argv + 1, argv + argc)))
        return runCommandLine(argc, argv);
    return runWindow(argc, argv);
}
