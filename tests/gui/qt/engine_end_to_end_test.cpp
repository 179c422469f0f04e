// The whole path a user takes, with the real LibreOffice engine: fill the
// list, press "Start Exporting To HTML", answer the boxes, look at the files.
#include <QScopeGuard>

#include "engines/libreoffice/office_engine.h"
#include "gui/qt/pumping_automation.h"
#include "window_fixture.h"

using namespace velloran;
using namespace velloran::fakes;

TEST_F(WindowTest, SamplesBecomePagesWithAPicturePerSlide) {
    const auto stopEngine = qScopeGuard([] { libreoffice::shutdownOfficeEngine(); });
    libreoffice::EngineOptions options;
    options.profileRoot = temp(QStringLiteral("profile")).toStdString();
    m_automation = makePumpingRegistry(libreoffice::makeOfficeRegistry(options));
    m_programFolder = QStringLiteral(VELLORAN_PROGRAM_DIR);
    window().load();
    EXPECT_TRUE(m_dialogs.boxes.empty()) << "LibreOffice is there: no start-up message";
    QDir().mkpath(temp(QStringLiteral("out")));
    window().setOutputFolder(temp(QStringLiteral("out")).toStdString());
    m_dialogs.answers = {kAnswerNo};
    press(Command::AddSamples);
    ASSERT_GE(window().rowCount(), 3u);
    m_dialogs.events.clear();

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
}
