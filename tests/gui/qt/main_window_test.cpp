#include <QDragEnterEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "gui/qt/file_list_model.h"
#include "window_fixture.h"

using namespace velloran;
using namespace velloran::fakes;

namespace {

QWidget *named(QWidget &window, const char *name) {
    return window.findChild<QWidget *>(QString::fromLatin1(name));
}

} // namespace

TEST_F(WindowTest, ControlsKeepTheFormsNamesAndFrames) {
    // Each control's observable name and the frame it sits in; the two options
    // share a frame, so that choosing one clears the other.
    const char *const controls[][2] = {
        {"Frame1", "Form1"},      {"Frame2", "Form1"},       {"ListView1", "Form1"},
        {"PushButton1", "Form1"}, {"PushButton2", "Form1"},  {"PushButton3", "Form1"},
        {"PushButton4", "Form1"}, {"PushButton6", "Form1"},  {"PushButton7", "Form1"},
        {"Text1", "Frame2"},      {"PushButton5", "Frame2"}, {"Option1", "Frame1"},
        {"Option2", "Frame1"}};
    for (const auto &[name, parent] : controls) {
        QWidget *w = named(window(), name);
        ASSERT_TRUE(w) << name;
        EXPECT_EQ(w->parent()->objectName(), QString::fromLatin1(parent)) << name;
    }
    EXPECT_TRUE(window().useHtmExtension());
    qobject_cast<QRadioButton *>(named(window(), "Option2"))->click();
    EXPECT_FALSE(window().useHtmExtension()) << "Option1 is cleared";
    EXPECT_EQ(window().minimumSize(), window().maximumSize()) << "fixed size";
}

TEST_F(WindowTest, StartUpFillsCaptionColumnAndSkinAndAnEditOfTheFolderIsStored) {
    window().load();
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Velloran"));
    EXPECT_FALSE(window().windowIcon().isNull());
    EXPECT_EQ(window().listModel()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("PowerPoint File(s)"));
    window().findChild<QLineEdit *>(QStringLiteral("Text1"))->clear();
    EXPECT_EQ(m_settings.get(kOutputFolderKey), std::optional<std::string>(""));

    // Without the skin, what shows of the window, the frames and the options
    // is white: a point beside each option's text, in each frame's margin
    // and between two buttons.
    const QImage shot = window().grab().toImage();
    EXPECT_EQ(shot.pixelColor(266, 230), QColor(Qt::white));
    for (const char *name : {"Option1", "Option2", "Frame1", "Frame2"}) {
        QWidget *w = named(window(), name);
        const QPoint at = w->mapTo(&window(), QPoint(w->width() - 4, w->height() - 4));
        EXPECT_EQ(shot.pixelColor(at), QColor(Qt::white)) << name;
    }
    const QColor face = QApplication::palette().color(QPalette::Button);
    m_window.reset();
    file(QStringLiteral("prog/x/o.cjs"), "QPushButton { border-radius: 3px; }");
    window().load();
    EXPECT_EQ(window().palette().color(QPalette::Window), face);
    for (const char *name : {"Frame1", "Frame2", "Option1", "Option2"})
        EXPECT_EQ(named(window(), name)->palette().color(QPalette::Window), face) << name;
    EXPECT_EQ(window().styleSheet(), QStringLiteral("QPushButton { border-radius: 3px; }"));
}

TEST_F(WindowTest, WithoutADesktopFolderTheHomeFolderIsTheDefault) {
    const QByteArray home = qgetenv("HOME"), config = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(m_temp.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temp(QStringLiteral("config"))));
    window().load();
    qputenv("HOME", home);
    config.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", config);
    EXPECT_EQ(window().outputFolder(),
              QDir::toNativeSeparators(m_temp.path() + u'/').toStdString());
}

TEST_F(WindowTest, PointerIsTheHandOverButtonsAndTheTextBoxButNeverReplacesTheHourglass) {
    QFile::copy(QStringLiteral(VELLORAN_RESOURCES_DIR "/HAND-M.CUR"),
                temp(QStringLiteral("prog/HAND-M.CUR")));
    window().load();
    window().show();
    QPushButton *button = window().button(Command::AddFiles);
    const auto over = [&](QWidget *w, QPoint at) {
        QTest::mouseMove(w, at);
        return window().pointer();
    };
    EXPECT_EQ(over(button, {10, 10}), kPointerCustom);
    EXPECT_EQ(window().cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(window().cursor().hotSpot(), QPoint(7, 0)) << "the tip of the finger";
    EXPECT_EQ(over(named(window(), "Text1"), {5, 5}), kPointerCustom);
    EXPECT_EQ(over(window().listView()->viewport(), {20, 20}), kPointerDefault);
    // The gap between the buttons is the window's own surface.
    over(button, {10, 10});
    ASSERT_EQ(window().childAt(QPoint(266, 230)), nullptr);
    EXPECT_EQ(over(&window(), {266, 230}), kPointerDefault);

    window().setPointer(kPointerBusy);
    over(button, {14, 14});
    EXPECT_EQ(over(window().listView()->viewport(), {30, 30}), kPointerBusy);
    EXPECT_EQ(window().cursor().shape(), Qt::WaitCursor);
}

TEST_F(WindowTest, EachButtonTheDeleteKeyAndADoubleClickReachTheLogic) {
    window().load();
    window().show();
    m_dialogs.openAnswers = {{"/a", "/b", "/c", "/d"}};
    press(Command::AddFiles);
    window().listView()->setCurrentIndex(window().listModel()->index(1, 0));
    QTest::keyClick(window().listView(), Qt::Key_Delete);
    EXPECT_EQ(window().rowText(2), "/c");
    // A double-click removes the row under the pointer, not the current one.
    window().listView()->setCurrentIndex(window().listModel()->index(0, 0));
    const QRect second = window().listView()->visualRect(window().listModel()->index(1, 0));
    QTest::mouseDClick(window().listView()->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(window().rowText(2), "/d");
    m_dialogs.folderAnswers = {temp(QStringLiteral("out")).toStdString()};
    press(Command::ChooseOutputFolder);
    EXPECT_EQ(window().outputFolder(), temp(QStringLiteral("out/")).toStdString());
    press(Command::ClearList);

    // The others by what they ask; the list was cleared, and with no sample
    // folder no row comes.
    const std::pair<Command, const char *> asks[] = {
        {Command::ShowHelp, "box:This program works"},
        {Command::AddSamples, "box:Would you like"},
        {Command::AddFolderTree, "input:Enter file extension"},
        {Command::ExportAll, "box:No files added."}};
    m_dialogs.answers = {kAnswerOk, kAnswerNo};
    for (const auto &[command, ask] : asks) {
        press(command);
        EXPECT_TRUE(m_dialogs.events.back().starts_with(ask)) << ask;
    }
    EXPECT_EQ(window().rowCount(), 0u);
}

namespace {

class DropTest : public WindowTest {
protected:
    // Sends an enter and a drop, as a drag from a file manager does.
    bool drop(const QMimeData &data, QWidget *target = nullptr) {
        if (!target)
            target = window().listView()->viewport();
        const QPoint pos(30, 30);
        QDragEnterEvent enter(pos, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent dropEvent(QPointF(pos), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropEvent);
        return dropEvent.isAccepted();
    }
    // The paths as URLs; a relative path is one below the temporary folder.
    bool drop(const QStringList &paths, QWidget *target = nullptr) {
        QMimeData data;
        QList<QUrl> urls;
        for (const auto &p : paths)
            urls << (p.contains(QLatin1Char(':')) ? QUrl(p) : QUrl::fromLocalFile(temp(p)));
        data.setUrls(urls);
        return drop(data, target);
    }
    QString rows() {
        QStringList out;
        for (std::size_t i = 1; i <= window().rowCount(); ++i)
            out << QString::fromStdString(window().rowText(i)).remove(m_temp.path() + u'/');
        return out.join(QLatin1Char(' '));
    }
};

} // namespace

TEST_F(DropTest, FilesBecomeRowsAsDroppedAndFoldersExpandInPlaceButTextAndLinksAreRefused) {
    window().load();
    for (const char *name : {"c.txt", "a.pptx", "R/r.ppt", "R/~$r.ppt", "R/A/a.doc", "R/B/b.odp",
                             "R/A/A1/a1.pptx", ".hidden/inside.ppt"})
        file(QString::fromUtf8(name));
    QDir().mkpath(temp(QStringLiteral("Empty")));
    EXPECT_TRUE(drop({QStringLiteral("c.txt"), QStringLiteral("R"), QStringLiteral("a.pptx"),
                      QStringLiteral("Empty"), QStringLiteral(".hidden"),
                      QStringLiteral("gone.ppt"), QStringLiteral("a.pptx")}));
    EXPECT_EQ(rows(), QStringLiteral("c.txt R/r.ppt R/A/a.doc R/B/b.odp R/A/A1/a1.pptx a.pptx "
                                     ".hidden gone.ppt a.pptx"));
    // The column header is part of the list; text and remote links are refused.
    window().clearRows();
    EXPECT_TRUE(drop({QStringLiteral("c.txt")}, window().listView()->header()->viewport()));
    QMimeData text;
    text.setText(QStringLiteral("/etc/passwd"));
    EXPECT_FALSE(drop(text));
    EXPECT_FALSE(drop(QStringList{QStringLiteral("https://example.org/deck.pptx")}));
    EXPECT_EQ(rows(), QStringLiteral("c.txt"));
}

TEST_F(DropTest, PathsGivenToTheProgramAreAddedAsADropOfThemAddsThem) {
    window().load();
    for (const char *name : {"R/r.ppt", "R/A/a.doc", "a.pptx", "-odd.ppt"})
        file(QString::fromUtf8(name));
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(m_temp.path()); // relative paths are the current folder's
    window().openPaths(pathsToOpen({QStringLiteral("velloran"), temp(QStringLiteral("R")),
                                    QStringLiteral("-unknown"), QStringLiteral("a.pptx"),
                                    QStringLiteral("--"), QStringLiteral("-odd.ppt")}));
    QDir::setCurrent(cwd);
    EXPECT_EQ(rows(), QStringLiteral("R/r.ppt R/A/a.doc a.pptx -odd.ppt"));
}

TEST_F(DropTest, ClosingTheWindowDuringAFolderWalkEndsTheProgramAtOnce) {
    window().load();
    window().show();
    for (int i = 0; i < 200; ++i)
        file(QStringLiteral("R/d%1/deck.ppt").arg(i));
    // The close arrives while the walk hands events to the window.
    QTimer::singleShot(0, &window(), [this] { window().close(); });
    EXPECT_TRUE(drop(QStringList{QStringLiteral("R")}));
    EXPECT_EQ(m_endRequests, 1);
    EXPECT_EQ(window().rowCount(), 0u) << "the walk did not run to its end";
    EXPECT_FALSE(window().isVisible());
}
