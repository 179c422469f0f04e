// Loaded into the installed program with LD_PRELOAD, this checks from inside
// the real window that the program found its data where
// VELLORAN_PROBE_DATADIR says it is installed: the style sheet is the skin
// file x/o.cjs, a mouse move over a button shows the hand pointer from
// HAND-M.CUR, and "Load Sample/Example Files" lists the three files of
// Samples/. It then ends the program: status 0 when every check passed, else
// 1 with the failures on the error stream. Nothing in the program knows of it.
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

namespace {

constexpr int kDeadlineMs = 120000; // LibreOffice's presence check runs before the window shows

QStringList checkWindow(QWidget *window, const QString &dataDir) {
    QStringList failures;
    QFile skin(dataDir + QStringLiteral("/x/o.cjs"));
    if (!skin.open(QIODevice::ReadOnly) || window->styleSheet().isEmpty() ||
        window->styleSheet() != QString::fromUtf8(skin.readAll()))
        failures << QStringLiteral("the window's style sheet is not ") + skin.fileName();

    auto *samples = window->findChild<QPushButton *>(QStringLiteral("PushButton4"));
    auto *list = window->findChild<QTreeView *>(QStringLiteral("ListView1"));
    if (!samples || !list)
        return failures << QStringLiteral("PushButton4 or ListView1 is missing");
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), samples->mapToGlobal(QPointF(5, 5)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(samples, &move);
    if (window->cursor().shape() != Qt::BitmapCursor || window->cursor().pixmap().isNull())
        failures << QStringLiteral("no hand pointer over a button");

    // The button ends with a question (open the folder?), answered "No" so
    // that no file manager starts.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            answer.stop();
            if (QAbstractButton *no = box->button(QMessageBox::No))
                no->click();
            else
                box->close();
        }
    });
    const int before = list->model()->rowCount();
    answer.start(100);
    samples->click();
    const QString samplesDir = QDir::toNativeSeparators(dataDir + QStringLiteral("/Samples/"));
    QStringList added;
    for (int row = before; row < list->model()->rowCount(); ++row)
        added << list->model()->index(row, 0).data().toString();
    if (added.size() != 3 || added.filter(samplesDir).size() != 3)
        failures << QStringLiteral("the samples button added: ") + added.join(QStringLiteral(", "));
    return failures;
}

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
        const QString dataDir = qEnvironmentVariable("VELLORAN_PROBE_DATADIR");
        if (!window || dataDir.isEmpty())
            *failures << QStringLiteral("no window within the deadline, or no data folder given");
        else
            *failures << checkWindow(window, dataDir);
        for (const QString &failure : *failures)
            std::fprintf(stderr, "window probe: FAILED: %s\n", qPrintable(failure));
        QCoreApplication::exit(failures->isEmpty() ? 0 : 1);
    });
    timer->start(100);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)
