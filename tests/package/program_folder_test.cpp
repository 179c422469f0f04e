#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "gui/qt/program_folder.h"

namespace {

using namespace Qt::StringLiterals;

TEST(ProgramFolder, BesideTheExecutableElseTheInstalledDataFolder) {
    const struct {
        const char *name;
        QStringList files; // under a prefix holding bin/ and share/
        const char *expected;
    } cases[] = {
        {"build tree: the skin beside the executable wins",
         {u"bin/x/o.cjs"_s, u"share/velloran/HAND-M.CUR"_s},
         "bin"},
        {"installed: the cursor in share", {u"share/velloran/HAND-M.CUR"_s}, "share/velloran"},
        {"neither: the executable's folder", {u"share/other/HAND-M.CUR"_s}, "bin"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir prefix;
        ASSERT_TRUE(QDir().mkpath(prefix.filePath(u"bin"_s)));
        for (const QString &file : c.files) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(prefix.filePath(file)).path()));
            ASSERT_TRUE(QFile(prefix.filePath(file)).open(QIODevice::WriteOnly));
        }
        EXPECT_EQ(velloran::programFolderFor(prefix.filePath(u"bin"_s), u"../share/velloran"_s)
                      .toStdString(),
                  prefix.filePath(QString::fromLatin1(c.expected)).toStdString());
    }
}

} // namespace
