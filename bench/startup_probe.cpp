// Loaded into the program with LD_PRELOAD by bench/run: prints the wall
// clock (nanoseconds since the epoch) when the main window is first shown,
// then ends the program. Nothing in the program knows about it.
#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

class ShowWatcher final : public QObject {
protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Show && watched->objectName() == QLatin1String("Form1")) {
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            std::printf("shown %lld\n",
                        static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
            std::fflush(stdout);
            // Shown before the event loop runs, so end the process outright.
            std::_Exit(0);
        }
        return false;
    }
};

void startWatching() {
    if (qobject_cast<QApplication *>(QCoreApplication::instance()))
        QCoreApplication::instance()->installEventFilter(
            new ShowWatcher); // lives as long as the program
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startWatching)
