// The whole path a user takes, with the real LibreOffice engine: fill the
// list, press "Start Exporting To HTML", answer the boxes, look at the files.
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/pumping_automation.h"
#include "office/office_engine.h"
#include "window_fixture.h"

using namespace velloran;
using namespace velloran::fakes;

namespace {

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_temp.isValid());
        office::EngineOptions options;
        options.profileRoot = m_temp.filePath(QStringLiteral("profile")).toStdString();
        m_automation = makePumpingRegistry(office::makeOfficeRegistry(options));
        m_settings = std::make_unique<QtSettingsStore>(m_temp.filePath(QStringLiteral("s.ini")));
        m_fs = makeNativeFileSystem();
        m_window = std::make_unique<Form1Window>(
            Form1Services{m_dialogs, *m_settings, *m_fs, *m_automation,
                          QStringLiteral(VELLORAN_PROGRAM_DIR), [] { return 0.5; }, QString()});
        m_window->load();
        QDir().mkpath(out());
        m_window->setText1(out().toStdString());
    }
    void TearDown() override { office::shutdownOfficeEngine(); }

    QString out() const { return m_temp.filePath(QStringLiteral("out")); }
    void press(const char *button) {
        QTest::mouseClick(m_window->findChild<QPushButton *>(QString::fromLatin1(button)),
                          Qt::LeftButton);
    }
    QStringList boxTexts() const {
        QStringList texts;
        for (const auto &b : m_dialogs.boxes)
            texts << b.text;
        return texts;
    }

    QTemporaryDir m_temp;
    ScriptedDialogs m_dialogs;
    std::shared_ptr<AutomationRegistry> m_automation;
    std::unique_ptr<QtSettingsStore> m_settings;
    std::unique_ptr<FileSystem> m_fs;
    std::unique_ptr<Form1Window> m_window;
};

} // namespace

TEST_F(EndToEnd, SamplesBecomePagesWithOneImagePerSlide) {
    EXPECT_TRUE(m_dialogs.boxes.empty()) << "LibreOffice is there: no start-up message";
    m_dialogs.answers = {kAnswerNo};
    press("PushButton4");
    const std::size_t samples = m_window->rowCount();
    ASSERT_GE(samples, 3u);
    m_dialogs.boxes.clear();

    press("PushButton7");
    EXPECT_EQ(boxTexts(), QStringList{QStringLiteral("Done.")});
    for (std::size_t i = 1; i <= samples; ++i) {
        const QFileInfo input(QString::fromStdString(m_window->rowText(i)));
        const QString page =
            out() + QLatin1Char('/') + input.completeBaseName() + QStringLiteral(".htm");
        EXPECT_TRUE(QFileInfo(page).size() > 0) << page.toStdString();
        const QDir companions(out() + QLatin1Char('/') + input.completeBaseName() +
                              QStringLiteral("_files"));
        const auto images = companions.entryList({QStringLiteral("img*.png")});
        const auto texts = companions.entryList({QStringLiteral("text*.html")});
        EXPECT_GE(images.size(), 3) << companions.path().toStdString();
        EXPECT_EQ(images.size(), texts.size()) << "one text page per slide image";
    }
    EXPECT_EQ(m_window->windowTitle(), QStringLiteral("Velloran"));
    EXPECT_EQ(m_window->mousePointer(), kPointerDefault);
}

TEST_F(EndToEnd, BadFilesAreReportedAndTheBatchGoesOn) {
    const QString corrupt = m_temp.filePath(QStringLiteral("corrupt.pptx"));
    QFile f(corrupt);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("PK\x03\x04 this is not a zip archive");
    f.close();
    const QString good = QStringLiteral(VELLORAN_PROGRAM_DIR "/Samples/Velloran Tips.odp");
    m_window->appendRows({corrupt.toStdString(),
                          m_temp.filePath(QStringLiteral("gone.ppt")).toStdString(),
                          good.toStdString()});
    m_window->findChild<QRadioButton *>(QStringLiteral("Option2"))->setChecked(true);

    press("PushButton7");
    const QStringList texts = boxTexts();
    ASSERT_EQ(texts.size(), 5) << texts.join(QStringLiteral("\n---\n")).toStdString();
    // Each unopenable file: the Open step, then the save that had nothing to save.
    for (int i : {0, 2}) {
        EXPECT_TRUE(texts[i].contains(QStringLiteral("DoItByFile at line 108"))) << i;
        EXPECT_TRUE(texts[i + 1].contains(QStringLiteral("DoItByFile at line 120"))) << i;
    }
    EXPECT_EQ(texts.last(), QStringLiteral("Done."));
    EXPECT_TRUE(QFile::exists(out() + QStringLiteral("/Velloran Tips.html")));
    EXPECT_FALSE(QFile::exists(out() + QStringLiteral("/corrupt.html")));
}
