#include <QDragEnterEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "app/file_list_model.h"
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
    auto *html = qobject_cast<QRadioButton *>(named(window(), "Option2"));
    EXPECT_TRUE(qobject_cast<QRadioButton *>(named(window(), "Option1"))->isChecked());
    html->click();
    EXPECT_FALSE(window().useHtmExtension());
    EXPECT_FALSE(qobject_cast<QRadioButton *>(named(window(), "Option1"))->isChecked());
    EXPECT_EQ(window().minimumSize(), window().maximumSize()) << "fixed size";
}

TEST_F(WindowTest, StartUpFillsCaptionColumnAndStoredFolder) {
    window().load();
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Velloran"));
    EXPECT_FALSE(window().windowIcon().isNull());
    EXPECT_EQ(window().listModel()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("PowerPoint File(s)"));
    const auto stored = m_settings->get(kOutputFolderKey);
    EXPECT_EQ(stored, std::optional<std::string>(window().outputFolder()));
    EXPECT_TRUE(stored && stored->ends_with('/'));

    // The next start shows what was stored, even the empty text.
    window().findChild<QLineEdit *>(QStringLiteral("Text1"))->clear();
    EXPECT_EQ(m_settings->get(kOutputFolderKey), std::optional<std::string>(""));
    m_window.reset();
    window().load();
    EXPECT_EQ(window().outputFolder(), "");
}

TEST_F(WindowTest, SkinColoursFramesAndOptionsOnlyWhenTheFileExists) {
    window().load();
    const QColor face = QApplication::palette().color(QPalette::Button);
    EXPECT_NE(named(window(), "Frame1")->palette().color(QPalette::Window), face);
    m_window.reset();
    QDir(temp(QStringLiteral("prog"))).mkpath(QStringLiteral("x"));
    QFile skin(temp(QStringLiteral("prog/x/o.cjs")));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { border-radius: 3px; }");
    skin.close();
    window().load();
    EXPECT_EQ(window().palette().color(QPalette::Window), face);
    for (const char *name : {"Frame1", "Frame2", "Option1", "Option2"})
        EXPECT_EQ(named(window(), name)->palette().color(QPalette::Window), face) << name;
    EXPECT_EQ(window().styleSheet(), QStringLiteral("QPushButton { border-radius: 3px; }"));
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
    EXPECT_EQ(window().cursor().hotSpot(), QPoint(7, 0));
    EXPECT_EQ(over(window().listView()->viewport(), {20, 20}), kPointerDefault);
    EXPECT_EQ(over(named(window(), "Frame1"), {5, 30}), kPointerDefault);
    // Between the buttons, in the left margin, and the bottom-right corner.
    for (const QPoint gap : {QPoint(266, 230), QPoint(3, 200), QPoint(530, 445)}) {
        ASSERT_EQ(over(button, {10, 10}), kPointerCustom);
        ASSERT_EQ(window().childAt(gap), nullptr) << gap.x() << "," << gap.y();
        EXPECT_EQ(over(&window(), gap), kPointerDefault) << gap.x() << "," << gap.y();
    }
    over(button, {10, 10});
    EXPECT_EQ(over(named(window(), "Text1"), {5, 5}), kPointerCustom);

    window().setPointer(kPointerBusy);
    over(button, {14, 14});
    EXPECT_EQ(over(window().listView()->viewport(), {30, 30}), kPointerBusy);
    EXPECT_EQ(window().cursor().shape(), Qt::WaitCursor);
}

TEST_F(WindowTest, DeleteKeyAndDoubleClickRemoveTheSelectedRow) {
    window().load();
    window().show();
    window().appendRows({"/a", "/b", "/c", "/d", "/e"});
    QTest::keyClick(window().listView(), Qt::Key_Delete);
    EXPECT_EQ(window().rowCount(), 5u) << "no selection: nothing happens";
    window().listView()->setCurrentIndex(window().listModel()->index(1, 0));
    QTest::keyClick(window().listView(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(window().rowText(2), "/c");
    window().listView()->setCurrentIndex(window().listModel()->index(0, 0));
    const QRect second = window().listView()->visualRect(window().listModel()->index(1, 0));
    QTest::mouseDClick(window().listView()->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(window().rowCount(), 3u);
    EXPECT_EQ(window().rowText(2), "/d");
    EXPECT_TRUE(m_dialogs.boxes.empty());
}

TEST_F(WindowTest, ButtonsDriveTheLogicThroughScriptedDialogs) {
    window().load();
    m_dialogs.openAnswers = {{"/d/one.ppt", "/d/two.pptx"}};
    press(Command::AddFiles);
    EXPECT_EQ(window().rowCount(), 2u);
    m_dialogs.folderAnswers = {temp(QStringLiteral("out")).toStdString()};
    press(Command::ChooseOutputFolder);
    EXPECT_EQ(window().outputFolder(), temp(QStringLiteral("out/")).toStdString());
    EXPECT_EQ(m_settings->get(kOutputFolderKey), window().outputFolder());
    press(Command::ShowHelp);
    EXPECT_EQ(m_dialogs.boxes.size(), 1u);
    press(Command::ClearList);
    EXPECT_EQ(window().rowCount(), 0u);
}

TEST_F(WindowTest, ExportRunShowsItsProgressInTheCaption) {
    QDir().mkpath(temp(QStringLiteral("out")));
    m_server.options().writeFiles = true;
    m_server.options().unopenable["/in/broken.pptx"] = "The file is damaged.";
    window().load();
    window().findChild<QRadioButton *>(QStringLiteral("Option2"))->setChecked(true);
    window().setOutputFolder(temp(QStringLiteral("out")).toStdString());
    window().appendRows({"/in/first.pptx", "/in/broken.pptx", "/in/third.odp"});
    QStringList captionsDuringRun;
    m_server.onCall = [&](const std::string &line) {
        if (line.find("SaveAs") != std::string::npos)
            captionsDuringRun << window().windowTitle();
    };
    press(Command::ExportAll);
    EXPECT_EQ(m_dialogs.boxes.size(), 3u);
    EXPECT_EQ(m_dialogs.boxes.at(0).title, "Application Error");
    EXPECT_EQ(m_dialogs.boxes.back().text, "Done.");
    EXPECT_TRUE(QFile::exists(temp(QStringLiteral("out/first.html"))));
    EXPECT_TRUE(QFile::exists(temp(QStringLiteral("out/third.html"))));
    EXPECT_EQ(captionsDuringRun, (QStringList{QStringLiteral("Velloran - 1 of 3 - first.pptx"),
                                              QStringLiteral("Velloran - 3 of 3 - third.odp")}));
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Velloran"));
    EXPECT_EQ(window().pointer(), kPointerDefault);
}

namespace {

class DropTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        window().load();
    }
    void file(const QString &rel) {
        QDir().mkpath(QFileInfo(temp(rel)).path());
        QFile f(temp(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // Sends an enter, a move and a drop, as a drag from a file manager does.
    bool drop(QMimeData *data) {
        m_keep.emplace_back(data);
        QWidget *target = window().listView()->viewport();
        const QPoint pos(30, 30);
        QDragEnterEvent enter(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDragMoveEvent move(pos, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QDropEvent dropEvent(QPointF(pos), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropEvent);
        return dropEvent.isAccepted();
    }
    QMimeData *urls(const QStringList &paths) {
        auto *data = new QMimeData;
        QList<QUrl> list;
        for (const auto &p : paths)
            list << (p.contains(QLatin1Char(':')) ? QUrl(p) : QUrl::fromLocalFile(temp(p)));
        data->setUrls(list);
        return data;
    }
    QString rows() {
        QStringList out;
        for (std::size_t i = 1; i <= window().rowCount(); ++i)
            out << QString::fromStdString(window().rowText(i)).remove(m_temp.path() + u'/');
        return out.join(QLatin1Char(' '));
    }
    std::vector<std::unique_ptr<QMimeData>> m_keep;
};

} // namespace

TEST_F(DropTest, FilesBecomeRowsAsDroppedAndFoldersExpandInPlaceLevelByLevel) {
    for (const char *name : {"c.txt", "a.pptx", "R/r.ppt", "R/~$r.ppt", "R/A/a.doc", "R/B/b.odp",
                             "R/A/A1/a1.pptx", ".hidden/inside.ppt"})
        file(QString::fromUtf8(name));
    QDir().mkpath(temp(QStringLiteral("Empty")));
    EXPECT_TRUE(drop(urls({QStringLiteral("c.txt"), QStringLiteral("R"), QStringLiteral("a.pptx"),
                           QStringLiteral("Empty"), QStringLiteral(".hidden"),
                           QStringLiteral("gone.ppt"), QStringLiteral("a.pptx")})));
    EXPECT_EQ(rows(), QStringLiteral("c.txt R/r.ppt R/A/a.doc R/B/b.odp R/A/A1/a1.pptx a.pptx "
                                     ".hidden gone.ppt a.pptx"));
    EXPECT_TRUE(m_dialogs.boxes.empty());
    EXPECT_EQ(window().pointer(), kPointerDefault);
}

TEST_F(DropTest, TextAndRemoteLinksAreRefused) {
    auto *text = new QMimeData;
    text->setText(QStringLiteral("/etc/passwd"));
    EXPECT_FALSE(drop(text));
    EXPECT_FALSE(drop(urls({QStringLiteral("https://example.org/deck.pptx")})));
    EXPECT_EQ(window().rowCount(), 0u);
}

TEST_F(DropTest, ClosingTheWindowDuringAFolderWalkEndsTheProgramAtOnce) {
    window().show();
    for (int i = 0; i < 200; ++i)
        file(QStringLiteral("R/d%1/deck.ppt").arg(i));
    // The close arrives while the walk hands events to the window.
    QTimer::singleShot(0, &window(), [this] { window().close(); });
    EXPECT_TRUE(drop(urls({QStringLiteral("R")})));
    EXPECT_EQ(m_endRequests, 1);
    EXPECT_EQ(window().rowCount(), 0u) << "the walk did not run to its end";
    EXPECT_FALSE(window().isVisible());
}
