#include <QDragEnterEvent>
#include <QMimeData>
#include <QTimer>
#include <QTreeView>
#include <QUrl>

#include "window_fixture.h"

using namespace velloran;
using namespace velloran::fakes;

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
