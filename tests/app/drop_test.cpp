#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
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
    void file(const QString &rel) {
        const QString path = temp(rel);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    // Sends an enter, a move and a drop, as a drag from a file manager does.
    bool drop(QMimeData *data) {
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
            list << QUrl::fromLocalFile(temp(p));
        data->setUrls(list);
        m_keep.emplace_back(data);
        return data;
    }
    QStringList rows() {
        QStringList out;
        for (std::size_t i = 1; i <= window().rowCount(); ++i)
            out << QString::fromStdString(window().rowText(i))
                       .remove(m_temp.path() + QLatin1Char('/'));
        return out;
    }
    std::vector<std::unique_ptr<QMimeData>> m_keep;
};

} // namespace

TEST_F(DropTest, FilesBecomeRowsInDropOrderWhateverTheirType) {
    window().load();
    file(QStringLiteral("c.txt"));
    file(QStringLiteral("a.pptx"));
    file(QStringLiteral("b.bin"));
    EXPECT_TRUE(drop(urls({QStringLiteral("c.txt"), QStringLiteral("a.pptx"),
                           QStringLiteral("b.bin"), QStringLiteral("a.pptx")})));
    EXPECT_EQ(rows(), (QStringList{QStringLiteral("c.txt"), QStringLiteral("a.pptx"),
                                   QStringLiteral("b.bin"), QStringLiteral("a.pptx")}));
    EXPECT_TRUE(m_dialogs.boxes.empty());
    EXPECT_EQ(window().pointer(), kPointerDefault);
}

TEST_F(DropTest, FoldersExpandInPlaceLevelByLevel) {
    window().load();
    file(QStringLiteral("R/r.ppt"));
    file(QStringLiteral("R/~$r.ppt"));
    file(QStringLiteral("R/A/a.doc"));
    file(QStringLiteral("R/B/b.odp"));
    file(QStringLiteral("R/A/A1/a1.pptx"));
    file(QStringLiteral("single.ppt"));
    QDir().mkpath(temp(QStringLiteral("Empty")));
    file(QStringLiteral(".hidden/inside.ppt"));
    EXPECT_TRUE(
        drop(urls({QStringLiteral("single.ppt"), QStringLiteral("R"), QStringLiteral("Empty"),
                   QStringLiteral(".hidden"), QStringLiteral("gone.ppt")})));
    EXPECT_EQ(rows(), (QStringList{QStringLiteral("single.ppt"), QStringLiteral("R/r.ppt"),
                                   QStringLiteral("R/A/a.doc"), QStringLiteral("R/B/b.odp"),
                                   QStringLiteral("R/A/A1/a1.pptx"), QStringLiteral(".hidden"),
                                   QStringLiteral("gone.ppt")}));
}

TEST_F(DropTest, TextAndRemoteLinksAreRefused) {
    window().load();
    auto *text = new QMimeData;
    text->setText(QStringLiteral("/etc/passwd"));
    m_keep.emplace_back(text);
    EXPECT_FALSE(drop(text));

    auto *remote = new QMimeData;
    remote->setUrls({QUrl(QStringLiteral("https://example.org/deck.pptx"))});
    m_keep.emplace_back(remote);
    EXPECT_FALSE(drop(remote));
    EXPECT_EQ(window().rowCount(), 0u);
}

TEST_F(DropTest, ClosingTheWindowDuringAFolderWalkEndsTheProgramAtOnce) {
    window().load();
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
