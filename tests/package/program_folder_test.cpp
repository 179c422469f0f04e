#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/program_folder.h"

using namespace velloran;

namespace {

// Creates each entry under root: a name ending in '/' is a folder, any other a file.
void makeTree(const QString &root, const QStringList &entries) {
    for (const QString &entry : entries) {
        const QString path = root + QLatin1Char('/') + entry;
        if (entry.endsWith(QLatin1Char('/'))) {
            ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString();
        } else {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        }
    }
}

TEST(ProgramFolder, BesideTheExecutableElseTheInstalledDataFolder) {
    struct Case {
        const char *name;
        QStringList entries; // relative to a prefix holding bin/ and share/
        const char *expected;
    };
    const Case cases[] = {
        {"build tree: the skin beside the executable",
         {QStringLiteral("bin/x/o.cjs"), QStringLiteral("share/velloran/Samples/")},
         "bin"},
        {"build tree: only Samples beside the executable", {QStringLiteral("bin/Samples/")}, "bin"},
        {"installed: everything in share",
         {QStringLiteral("bin/"), QStringLiteral("share/velloran/x/o.cjs"),
          QStringLiteral("share/velloran/HAND-M.CUR"), QStringLiteral("share/velloran/Samples/")},
         "share/velloran"},
        {"installed: only the cursor in share",
         {QStringLiteral("bin/"), QStringLiteral("share/velloran/HAND-M.CUR")},
         "share/velloran"},
        {"neither: the executable's folder, as if the files were missing",
         {QStringLiteral("bin/"), QStringLiteral("share/other/")},
         "bin"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir prefix;
        ASSERT_TRUE(prefix.isValid());
        makeTree(prefix.path(), c.entries);
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        EXPECT_EQ(programFolderFor(bin, QStringLiteral("../share/velloran")),
                  prefix.filePath(QString::fromLatin1(c.expected)));
    }
}

} // namespace
