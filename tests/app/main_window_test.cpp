#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "app/file_list_model.h"
#include "core/names.h"
#include "window_fixture.h"

using namespace velloran;
using namespace velloran::fakes;

namespace {

struct Expected {
    const char *name;
    QRect rect; // pixels at 96 dpi, relative to the parent as in the form
    const char *caption;
};

// The form's twips divided by 15 (96 dpi), rounded.
const Expected kControls[] = {
    {"Frame2", {8, 356, 520, 51}, "Save Results To This Folder"},
    {"Text1", {16, 18, 433, 23}, nullptr},
    {"PushButton5", {456, 18, 48, 23}, "..."},
    {"PushButton1", {8, 6, 520, 27}, "Help"},
    {"Frame1", {8, 282, 520, 69}, "File Extension Options"},
    {"Option2", {16, 43, 161, 17}, "Use 'html' as extension"},
    {"Option1", {16, 20, 153, 17}, "Use 'htm' as extension"},
    {"ListView1", {8, 40, 520, 173}, nullptr},
    {"PushButton3", {8, 218, 256, 27}, "Add PowerPoint File(s)"},
    {"PushButton6", {272, 218, 256, 27}, "Add All File(s) In Folder"},
    {"PushButton7", {8, 414, 520, 27}, "Start Exporting To HTML"},
    {"PushButton2", {8, 252, 256, 27}, "Clear List"},
    {"PushButton4", {272, 252, 256, 27}, "Load Sample/Example Files"},
};

QString captionOf(QWidget *w) {
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    return {};
}

} // namespace

TEST_F(WindowTest, LayoutMatchesTheFormAtNinetySixDpi) {
    ASSERT_EQ(window().logicalDpiX(), 96);
    EXPECT_EQ(window().size(), QSize(536, 449));
    EXPECT_EQ(window().minimumSize(), window().maximumSize()) << "fixed size";
    EXPECT_TRUE(window().windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(window().windowFlags() & Qt::WindowMaximizeButtonHint);
    for (const auto &c : kControls) {
        auto *w = window().findChild<QWidget *>(QString::fromLatin1(c.name));
        ASSERT_TRUE(w) << c.name;
        EXPECT_EQ(w->geometry(), c.rect) << c.name;
        if (c.caption) {
            EXPECT_EQ(captionOf(w), QString::fromLatin1(c.caption)) << c.name;
        }
    }
    for (const char *inFrame2 : {"Text1", "PushButton5"})
        EXPECT_EQ(
            window().findChild<QWidget *>(QString::fromLatin1(inFrame2))->parent()->objectName(),
            QStringLiteral("Frame2"));
    for (const char *inFrame1 : {"Option1", "Option2"})
        EXPECT_EQ(
            window().findChild<QWidget *>(QString::fromLatin1(inFrame1))->parent()->objectName(),
            QStringLiteral("Frame1"));
}

TEST_F(WindowTest, FontsAndOptionsAsDesigned) {
    EXPECT_EQ(window().font().family(), QStringLiteral("Arial"));
    EXPECT_DOUBLE_EQ(window().font().pointSizeF(), 9.0);
    EXPECT_TRUE(window().font().bold());
    auto *button = window().findChild<QPushButton *>(QStringLiteral("PushButton7"));
    EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 11.25);
    EXPECT_TRUE(button->font().bold());
    EXPECT_TRUE(window().findChild<QRadioButton *>(QStringLiteral("Option1"))->isChecked());
    EXPECT_FALSE(window().findChild<QRadioButton *>(QStringLiteral("Option2"))->isChecked());
    EXPECT_EQ(window().palette().color(QPalette::Window), QColor(Qt::white));
    EXPECT_EQ(window()
                  .findChild<QGroupBox *>(QStringLiteral("Frame1"))
                  ->palette()
                  .color(QPalette::Window),
              QColor(Qt::white));
}

TEST_F(WindowTest, TabOrderStartsAtTheListWhichHasTheFocus) {
    window().load();
    window().show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    EXPECT_EQ(QApplication::focusWidget(), window().listView());
    const QStringList controls{
        QStringLiteral("ListView1"),   QStringLiteral("PushButton1"), QStringLiteral("PushButton2"),
        QStringLiteral("PushButton3"), QStringLiteral("PushButton4"), QStringLiteral("PushButton5"),
        QStringLiteral("PushButton6"), QStringLiteral("PushButton7"), QStringLiteral("Option1"),
        QStringLiteral("Option2"),     QStringLiteral("Text1")};
    QStringList order{QStringLiteral("ListView1")};
    for (QWidget *w = window().listView()->nextInFocusChain(); w != window().listView();
         w = w->nextInFocusChain())
        if (controls.contains(w->objectName()) && !order.contains(w->objectName()))
            order << w->objectName();
    EXPECT_EQ(order, (QStringList{QStringLiteral("ListView1"), QStringLiteral("PushButton3"),
                                  QStringLiteral("PushButton6"), QStringLiteral("Option1"),
                                  QStringLiteral("Option2"), QStringLiteral("PushButton7"),
                                  QStringLiteral("PushButton1"), QStringLiteral("PushButton2"),
                                  QStringLiteral("PushButton4"), QStringLiteral("Text1"),
                                  QStringLiteral("PushButton5")}));
}

TEST_F(WindowTest, StartUpFillsCaptionColumnAndStoredFolder) {
    window().load();
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Velloran"));
    EXPECT_FALSE(window().windowIcon().isNull());
    EXPECT_EQ(window().listModel()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("PowerPoint File(s)"));
    EXPECT_EQ(window().listView()->columnWidth(0), 467);
    EXPECT_EQ(window().listView()->toolTip(),
              QStringLiteral("Drag and drop files here. Double-click item to remove it. Move bar "
                             "to right and out of window to reveal full names."));
    const auto stored = m_settings->get(kOutputFolderKey);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(*stored, window().outputFolder());
    EXPECT_EQ(stored->back(), '/');

    // The next start shows what was stored, even the empty text.
    window().findChild<QLineEdit *>(QStringLiteral("Text1"))->clear();
    EXPECT_EQ(m_settings->get(kOutputFolderKey), std::optional<std::string>(""));
    m_window.reset();
    window().load();
    EXPECT_EQ(window().outputFolder(), "");
}

TEST_F(WindowTest, SkinColoursFramesAndOptionsOnlyWhenTheFileExists) {
    QDir(temp(QStringLiteral("prog"))).mkpath(QStringLiteral("x"));
    QFile skin(temp(QStringLiteral("prog/x/o.cjs")));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { border-radius: 3px; }");
    skin.close();
    window().load();
    const QColor face = QApplication::palette().color(QPalette::Button);
    EXPECT_EQ(window().palette().color(QPalette::Window), face);
    for (const char *name : {"Frame1", "Frame2", "Option1", "Option2"})
        EXPECT_EQ(window()
                      .findChild<QWidget *>(QString::fromLatin1(name))
                      ->palette()
                      .color(QPalette::Window),
                  face)
            << name;
    EXPECT_EQ(window().styleSheet(), QStringLiteral("QPushButton { border-radius: 3px; }"));
}

TEST_F(WindowTest, PointerFollowsTheMouseButNeverReplacesTheHourglass) {
    QFile::copy(QStringLiteral(VELLORAN_RESOURCES_DIR "/HAND-M.CUR"),
                temp(QStringLiteral("prog/HAND-M.CUR")));
    window().load();
    window().show();
    auto *button = window().findChild<QPushButton *>(QStringLiteral("PushButton3"));
    QTest::mouseMove(button, QPoint(10, 10));
    EXPECT_EQ(window().pointer(), kPointerCustom);
    EXPECT_EQ(window().cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(window().cursor().hotSpot(), QPoint(7, 0));
    QTest::mouseMove(window().listView()->viewport(), QPoint(20, 20));
    EXPECT_EQ(window().pointer(), kPointerDefault);
    QTest::mouseMove(window().findChild<QWidget *>(QStringLiteral("Frame1")), QPoint(5, 30));
    QTest::mouseMove(button, QPoint(12, 12));
    EXPECT_EQ(window().pointer(), kPointerCustom);
    QTest::mouseMove(window().findChild<QWidget *>(QStringLiteral("Frame1")), QPoint(6, 30));
    EXPECT_EQ(window().pointer(), kPointerDefault);

    window().setPointer(kPointerBusy);
    QTest::mouseMove(button, QPoint(14, 14));
    QTest::mouseMove(window().listView()->viewport(), QPoint(30, 30));
    EXPECT_EQ(window().pointer(), kPointerBusy);
    EXPECT_EQ(window().cursor().shape(), Qt::WaitCursor);
}

TEST_F(WindowTest, BareBackgroundResetsThePointerButTheTextBoxDoesNot) {
    window().load();
    window().show();
    QPushButton *button = window().button(Command::AddFiles);
    // Between the buttons, in the left margin, and the bottom-right corner.
    for (const QPoint gap : {QPoint(266, 230), QPoint(3, 200), QPoint(530, 445)}) {
        QTest::mouseMove(button, QPoint(10, 10));
        ASSERT_EQ(window().pointer(), kPointerCustom);
        ASSERT_EQ(window().childAt(gap), nullptr) << gap.x() << "," << gap.y();
        QTest::mouseMove(&window(), gap);
        EXPECT_EQ(window().pointer(), kPointerDefault) << gap.x() << "," << gap.y();
    }
    QTest::mouseMove(button, QPoint(10, 10));
    QTest::mouseMove(window().findChild<QWidget *>(QStringLiteral("Text1")), QPoint(5, 5));
    EXPECT_EQ(window().pointer(), kPointerCustom);
}

TEST_F(WindowTest, DeleteKeyAndDoubleClickRemoveTheSelectedRow) {
    window().load();
    window().show();
    window().appendRows({"/a", "/b", "/c", "/d", "/e"});
    QTest::keyClick(window().listView(), Qt::Key_Delete);
    EXPECT_EQ(window().rowCount(), 5u) << "no selection: nothing happens";
    EXPECT_TRUE(m_dialogs.boxes.empty());

    window().listView()->setCurrentIndex(window().listModel()->index(1, 0));
    QTest::keyClick(window().listView(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(window().rowCount(), 4u);
    EXPECT_EQ(window().rowText(2), "/c");

    window().listView()->setCurrentIndex(window().listModel()->index(0, 0));
    const QRect second = window().listView()->visualRect(window().listModel()->index(1, 0));
    QTest::mouseDClick(window().listView()->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(window().rowCount(), 3u);
}

TEST_F(WindowTest, ButtonsDriveTheLogicThroughScriptedDialogs) {
    window().load();
    m_dialogs.openAnswers = {{"/d/one.ppt", "/d/two.pptx"}};
    press(Command::AddFiles);
    EXPECT_EQ(window().rowCount(), 2u);

    m_dialogs.folderAnswers = {temp(QStringLiteral("out")).toStdString()};
    press(Command::ChooseOutputFolder);
    EXPECT_EQ(window().outputFolder(), temp(QStringLiteral("out/")).toStdString());
    EXPECT_EQ(m_settings->get(kOutputFolderKey),
              std::optional<std::string>(window().outputFolder()));

    press(Command::ShowHelp);
    ASSERT_FALSE(m_dialogs.boxes.empty());
    EXPECT_EQ(m_dialogs.boxes.back().style, kStyleOkOnly);

    press(Command::ClearList);
    EXPECT_EQ(window().rowCount(), 0u);
}

TEST_F(WindowTest, ExportRunThroughTheWindow) {
    QDir().mkpath(temp(QStringLiteral("out")));
    m_server.options().writeFiles = true;
    m_server.options().unopenable["/in/broken.pptx"] = "The file is damaged.";
    window().load();
    window().setOutputFolder(temp(QStringLiteral("out")).toStdString());
    window().appendRows({"/in/first.pptx", "/in/broken.pptx", "/in/third.odp"});
    QStringList captionsDuringRun;
    m_server.onCall = [&](const std::string &line) {
        if (line.find("SaveAs") != std::string::npos)
            captionsDuringRun << window().windowTitle();
    };
    press(Command::ExportAll);
    ASSERT_EQ(m_dialogs.boxes.size(), 3u);
    EXPECT_TRUE(m_dialogs.boxes[0].text.starts_with("The file is damaged.\r\n"));
    EXPECT_EQ(m_dialogs.boxes[0].title, "Application Error");
    EXPECT_EQ(m_dialogs.boxes[0].style, kStyleExclamation);
    EXPECT_EQ(m_dialogs.boxes[2].text, "Done.");
    EXPECT_TRUE(QFile::exists(temp(QStringLiteral("out/first.htm"))));
    EXPECT_TRUE(QFile::exists(temp(QStringLiteral("out/third.htm"))));
    EXPECT_EQ(captionsDuringRun, (QStringList{QStringLiteral("Velloran - 1 of 3 - first.pptx"),
                                              QStringLiteral("Velloran - 3 of 3 - third.odp")}));
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Velloran"));
    EXPECT_EQ(window().rowCount(), 3u);
    EXPECT_EQ(window().pointer(), kPointerDefault);
}

TEST_F(WindowTest, ManyRowsArriveInBatches) {
    int inserts = 0;
    QObject::connect(window().listModel(), &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    std::vector<std::string> batch(50000, "/x/deck.pptx");
    window().appendRows(batch);
    window().appendRows(batch);
    EXPECT_EQ(window().rowCount(), 100000u);
    EXPECT_EQ(inserts, 2);
}
