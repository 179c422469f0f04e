// Loaded into the installed program with LD_PRELOAD, this checks from inside
// the real window that the program found its data where
// VELLORAN_PROBE_DATADIR says it is installed: the window's style sheet is
// the skin file x/o.cjs there. (The window takes its pointer and samples
// from the same folder, as the app tests show.) It then ends the program:
// status 0 when the check passed, else 1 with the failures on the error
// stream. Nothing in the program knows of it.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

constexpr int kDeadlineMs = 120000; // LibreOffice's presence check runs before the window shows

void startProbe() {
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return; // "velloran convert" has no window to look at
    auto *timer = new QTimer(QCoreApplication::instance());
    auto *started = new QElapsedTimer;
    auto *failures = new QStringList;
    started->start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        // A message box during start-up (e.g. no office program) is a
        // failure; close it so that the window can show and the run end.
        if (QWidget *modal = QApplication::activeModalWidget()) {
            *failures << QStringLiteral("a message box showed: ") +
                             modal->property("text").toString();
            modal->close();
            return;
        }
        QWidget *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == QLatin1String("Form1") && w->isVisible())
                window = w;
        if (!window && started->elapsed() < kDeadlineMs)
            return;
        timer->stop();
        QFile skin(qEnvironmentVariable("VELLORAN_PROBE_DATADIR") + QStringLiteral("/x/o.cjs"));
        if (!window)
            *failures << QStringLiteral("no window within the deadline");
        else if (!skin.open(QIODevice::ReadOnly) || window->styleSheet().isEmpty() ||
                 window->styleSheet() != QString::fromUtf8(skin.readAll()))
            *failures << QStringLiteral("the window's style sheet is not ") + skin.fileName();
        for (const QString &failure : *failures)
            std::fprintf(stderr, "window probe: FAILED: %s\n", qPrintable(failure));
        QCoreApplication::exit(failures->isEmpty() ? 0 : 1);
    });
    timer->start(100);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
