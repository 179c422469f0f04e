#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/program_folder.h"

namespace {

using namespace Qt::StringLiterals;

TEST(ProgramFolder, BesideTheExecutableElseTheInstalledDataFolder) {
    struct Case {
        const char *name;
        QStringList entries; // under a prefix holding bin/ and share/; folders end in '/'
        const char *expected;
    };
    const Case cases[] = {
        {"build tree: the skin beside the executable",
         {u"bin/x/o.cjs"_s, u"share/velloran/Samples/"_s},
         "bin"},
        {"build tree: only Samples beside the executable", {u"bin/Samples/"_s}, "bin"},
        {"installed: everything in share",
         {u"bin/"_s, u"share/velloran/x/o.cjs"_s, u"share/velloran/HAND-M.CUR"_s,
          u"share/velloran/Samples/"_s},
         "share/velloran"},
        {"installed: only the cursor in share",
         {u"bin/"_s, u"share/velloran/HAND-M.CUR"_s},
         "share/velloran"},
        {"neither: the executable's folder, as if the files were missing",
         {u"bin/"_s, u"share/other/"_s},
         "bin"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir prefix;
        for (const QString &entry : c.entries) {
            const QString path = prefix.filePath(entry);
            ASSERT_TRUE(QDir().mkpath(entry.endsWith(u'/') ? path : QFileInfo(path).path()));
            if (!entry.endsWith(u'/')) {
                ASSERT_TRUE(QFile(path).open(QIODevice::WriteOnly)) << path.toStdString();
            }
        }
        EXPECT_EQ(velloran::programFolderFor(prefix.filePath(u"bin"_s), u"../share/velloran"_s),
                  prefix.filePath(QString::fromLatin1(c.expected)));
    }
}

} // namespace
