// Loaded into the installed program with LD_PRELOAD, this checks from inside
// the real window that the program found its data where
// VELLORAN_PROBE_DATADIR says it is installed:
//   - the window's style sheet is the skin file x/o.cjs;
//   - a mouse move over a button shows the hand pointer from HAND-M.CUR
//     (without the file the pointer stays the default arrow);
//   - "Load Sample/Example Files" lists the three files of Samples/.
// It then ends the program: status 0 when every check passed, else 1 with
// the failures on the error stream. Nothing in the program knows about it.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <memory>

namespace {

constexpr int kDeadlineMs = 120000; // LibreOffice's presence check runs before the window shows
constexpr int kPollMs = 100;

void say(const QString &line) {
    std::fprintf(stderr, "window probe: %s\n", qPrintable(line));
}

QWidget *findMainWindow() {
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("Form1") && w->isVisible())
            return w;
    return nullptr;
}

// Runs the checks on the shown window; returns the failures.
QStringList checkWindow(QWidget *window, const QString &dataDir) {
    QStringList failures;

    QFile skin(dataDir + QStringLiteral("/x/o.cjs"));
    if (!skin.open(QIODevice::ReadOnly))
        failures << QStringLiteral("cannot read the installed skin %1").arg(skin.fileName());
    else if (window->styleSheet().isEmpty() ||
             window->styleSheet() != QString::fromUtf8(skin.readAll()))
        failures << QStringLiteral("the window's style sheet is not the installed skin");
    else
        say(QStringLiteral("style sheet is %1").arg(skin.fileName()));

    auto *samplesButton = window->findChild<QPushButton *>(QStringLiteral("PushButton4"));
    auto *list = window->findChild<QTreeView *>(QStringLiteral("ListView1"));
    if (!samplesButton || !list)
        return failures << QStringLiteral("PushButton4 or ListView1 is missing");

    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), samplesButton->mapToGlobal(QPointF(5, 5)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(samplesButton, &move);
    if (window->cursor().shape() != Qt::BitmapCursor || window->cursor().pixmap().isNull())
        failures << QStringLiteral("no hand pointer over a button (cursor shape %1)")
                        .arg(window->cursor().shape());
    else
        say(QStringLiteral("hand pointer %1x%2 over the buttons")
                .arg(window->cursor().pixmap().width())
                .arg(window->cursor().pixmap().height()));

    // The samples button ends with a yes/no question (open the folder?),
    // answered "No" here so that no file manager is started.
    QString question;
    QTimer answer;
    answer.setInterval(kPollMs);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            question = box->text();
            answer.stop();
            if (QAbstractButton *no = box->button(QMessageBox::No))
                no->click();
            else
                box->close();
        }
    });
    const int before = list->model()->rowCount();
    answer.start();
    samplesButton->click();
    answer.stop();
    say(QStringLiteral("answered No to: %1").arg(question));
    const int added = list->model()->rowCount() - before;
    const QString samplesDir = QDir::toNativeSeparators(dataDir + QStringLiteral("/Samples/"));
    int fromData = 0;
    for (int row = before; row < list->model()->rowCount(); ++row) {
        const QString path = list->model()->index(row, 0).data().toString();
        say(QStringLiteral("sample row %1").arg(path));
        fromData += path.startsWith(samplesDir) ? 1 : 0;
    }
    if (added != 3 || fromData != 3)
        failures << QStringLiteral("the samples button added %1 rows, %2 of them from %3")
                        .arg(added)
                        .arg(fromData)
                        .arg(samplesDir);
    return failures;
}

void startProbe() {
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return; // "velloran convert" has no window to look at
    const QString dataDir = qEnvironmentVariable("VELLORAN_PROBE_DATADIR");
    auto *timer = new QTimer(QCoreApplication::instance());
    auto started = std::make_shared<QElapsedTimer>();
    auto failures = std::make_shared<QStringList>();
    if (dataDir.isEmpty())
        *failures << QStringLiteral("VELLORAN_PROBE_DATADIR is not set");
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, started, failures, dataDir] {
        // A message box during start-up (e.g. no office program) is a
        // failure; close it so that the window can show and the run end.
        if (QWidget *modal = QApplication::activeModalWidget()) {
            *failures << QStringLiteral("a message box showed: %1")
                             .arg(modal->property("text").toString());
            modal->close();
            return;
        }
        QWidget *window = findMainWindow();
        if (!window && started->elapsed() < kDeadlineMs)
            return;
        timer->stop();
        if (!window)
            *failures << QStringLiteral("the window did not show within %1 ms").arg(kDeadlineMs);
        else if (!dataDir.isEmpty())
            *failures << checkWindow(window, dataDir);
        for (const QString &failure : *failures)
            say(QStringLiteral("FAILED: %1").arg(failure));
        if (failures->isEmpty())
            say(QStringLiteral("all checks passed"));
        QCoreApplication::exit(failures->isEmpty() ? 0 : 1);
    });
    timer->start(kPollMs);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
