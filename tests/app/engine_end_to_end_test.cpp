// The whole path a user takes, with the real LibreOffice engine: fill the
// list, press "Start Exporting To HTML", answer the boxes, look at the files.
#include <QRadioButton>

#include "app/pumping_automation.h"
#include "office/office_engine.h"
#include "window_fixture.h"

using namespace velloran;
using namespace velloran::fakes;

namespace {

class EndToEnd : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        office::EngineOptions options;
        options.profileRoot = temp(QStringLiteral("profile")).toStdString();
        m_automation = makePumpingRegistry(office::makeOfficeRegistry(options));
        m_programFolder = QStringLiteral(VELLORAN_PROGRAM_DIR);
        window().load();
        QDir().mkpath(out());
        window().setOutputFolder(out().toStdString());
    }
    void TearDown() override { office::shutdownOfficeEngine(); }
    QString out() const { return temp(QStringLiteral("out")); }
};

} // namespace

TEST_F(EndToEnd, SamplesBecomePagesWithAPicturePerSlide) {
    EXPECT_TRUE(m_dialogs.boxes.empty()) << "LibreOffice is there: no start-up message";
    m_dialogs.answers = {kAnswerNo};
    press(Command::AddSamples);
    const std::size_t samples = window().rowCount();
    ASSERT_GE(samples, 3u);
    m_dialogs.boxes.clear();

    press(Command::ExportAll);
    EXPECT_EQ(m_dialogs.boxTexts(), std::vector<std::string>{"Done."});
    for (std::size_t i = 1; i <= samples; ++i) {
        const QString stem =
            QFileInfo(QString::fromStdString(window().rowText(i))).completeBaseName();
        const QString page = out() + QLatin1Char('/') + stem + QStringLiteral(".htm");
        EXPECT_GT(QFileInfo(page).size(), 0) << page.toStdString();
        const QDir companions(out() + QLatin1Char('/') + stem + QStringLiteral("_files"));
        const auto pictures = companions.entryList(
            {QStringLiteral("*.png"), QStringLiteral("*.webp"), QStringLiteral("*.jpg")},
            QDir::Files);
        EXPECT_GE(pictures.size(), 3) << companions.path().toStdString();
    }
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Velloran"));
    EXPECT_EQ(window().pointer(), kPointerDefault);
}

TEST_F(EndToEnd, BadFilesAreReportedAndTheBatchGoesOn) {
    const QString corrupt = temp(QStringLiteral("corrupt.pptx"));
    QFile f(corrupt);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("PK\x03\x04 this is not a zip archive");
    f.close();
    const QString good = QStringLiteral(VELLORAN_PROGRAM_DIR "/Samples/Velloran Tips.odp");
    window().appendRows({corrupt.toStdString(), temp(QStringLiteral("gone.ppt")).toStdString(),
                         good.toStdString()});
    window().findChild<QRadioButton *>(QStringLiteral("Option2"))->setChecked(true);

    press(Command::ExportAll);
    const auto texts = m_dialogs.boxTexts();
    ASSERT_EQ(texts.size(), 5u);
    // Each unopenable file: the Open step, then the save that had nothing to save.
    for (int i : {0, 2}) {
        EXPECT_NE(texts[i].find("DoItByFile at line 108"), std::string::npos) << texts[i];
        EXPECT_NE(texts[i + 1].find("DoItByFile at line 120"), std::string::npos) << texts[i + 1];
    }
    EXPECT_EQ(texts.back(), "Done.");
    EXPECT_TRUE(QFile::exists(out() + QStringLiteral("/Velloran Tips.html")));
    EXPECT_FALSE(QFile::exists(out() + QStringLiteral("/corrupt.html")));
}
