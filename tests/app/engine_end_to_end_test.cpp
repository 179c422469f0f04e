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
        QDir().mkpath(temp(QStringLiteral("out")));
        window().setOutputFolder(temp(QStringLiteral("out")).toStdString());
    }
    void TearDown() override { office::shutdownOfficeEngine(); }
};

} // namespace

TEST_F(EndToEnd, SamplesBecomePagesWithAPicturePerSlide) {
    EXPECT_TRUE(m_dialogs.boxes.empty()) << "LibreOffice is there: no start-up message";
    m_dialogs.answers = {kAnswerNo};
    press(Command::AddSamples);
    ASSERT_GE(window().rowCount(), 3u);
    m_dialogs.boxes.clear();

    press(Command::ExportAll);
    EXPECT_EQ(m_dialogs.boxTexts(), std::vector<std::string>{"Done."});
    for (std::size_t i = 1; i <= window().rowCount(); ++i) {
        const QString stem =
            temp(QStringLiteral("out/")) +
            QFileInfo(QString::fromStdString(window().rowText(i))).completeBaseName();
        EXPECT_GT(QFileInfo(stem + QStringLiteral(".htm")).size(), 0) << stem.toStdString();
        EXPECT_GE(QDir(stem + QStringLiteral("_files"))
                      .entryList({QStringLiteral("*.png"), QStringLiteral("*.webp")}, QDir::Files)
                      .size(),
                  3)
            << stem.toStdString();
    }
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Velloran"));
    EXPECT_EQ(window().pointer(), kPointerDefault);
}

TEST_F(EndToEnd, BadFilesAreReportedAndTheBatchGoesOn) {
    QFile corrupt(temp(QStringLiteral("corrupt.pptx")));
    ASSERT_TRUE(corrupt.open(QIODevice::WriteOnly));
    corrupt.write("PK\x03\x04 this is not a zip archive");
    corrupt.close();
    window().appendRows({corrupt.fileName().toStdString(),
                         temp(QStringLiteral("gone.ppt")).toStdString(),
                         VELLORAN_PROGRAM_DIR "/Samples/Velloran Tips.odp"});
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
    EXPECT_TRUE(QFile::exists(temp(QStringLiteral("out/Velloran Tips.html"))));
    EXPECT_FALSE(QFile::exists(temp(QStringLiteral("out/corrupt.html"))));
}
