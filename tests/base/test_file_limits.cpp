// Ini and language files are read only up to their limit: a link to an endless file is refused
// with a message, and a refused ini is never written over.
#include "base/dmViewer.h"
#include "base/wholefile.h"
#include "i18n/LumsLang.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace
{

TEST(FileLimits, TextFilesPastTheirLimitOrWithoutEndAreRefusedWithAMessage)
{
    QTemporaryDir dir;
    const QString endless = dir.filePath("endless.ini");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), endless));
    const QString large = dir.filePath("large.ini");
    {
        QFile f(large);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(MaxTextFileBytes + 1));
    }
    const QString small = dir.filePath("small.ini");
    {
        QFile f(small);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Options]\nFontSize=11\n");
    }
    const QString shipped = dir.filePath("shipped.ini");
    QFile::copy(small, shipped);
    const struct {
        QString Path;
        TReadOutcome Outcome;
    } rows[] = {{endless, TReadOutcome::TooLarge},
                {large, TReadOutcome::TooLarge},
                {small, TReadOutcome::Read},
                {dir.filePath("none.ini"), TReadOutcome::Missing}};
    for (const auto &r : rows) {
        SCOPED_TRACE(r.Path.toStdString());
        QByteArray bytes;
        QString why;
        EXPECT_EQ(ReadFileLimited(r.Path, MaxTextFileBytes, bytes, &why), r.Outcome);
        EXPECT_EQ(why.contains("larger than 4 MB"), r.Outcome == TReadOutcome::TooLarge) << why.toStdString();
        EXPECT_EQ(bytes.isEmpty(), r.Outcome != TReadOutcome::Read);

        // The language file: no texts, and the reason.
        TLumsLanguage lang(r.Path, {"English"});
        EXPECT_EQ(lang.Read().has_value(), r.Outcome == TReadOutcome::Read);
        EXPECT_EQ(lang.ReadProblem().contains("larger than 4 MB"), r.Outcome == TReadOutcome::TooLarge);

        // The ini as the per-user file over a shipped one: its problem is said, and it is not written.
        TdatViewer config(shipped, r.Path, true);
        EXPECT_EQ(config.LoadProblems().size(), r.Outcome == TReadOutcome::TooLarge ? 1 : 0);
        config.SetFontSize(14);
        QString error;
        EXPECT_EQ(config.Save(&error), r.Outcome != TReadOutcome::TooLarge) << error.toStdString();
        EXPECT_EQ(QFileInfo(r.Path).isSymLink(), r.Path == endless);
    }
    EXPECT_EQ(QFileInfo(large).size(), MaxTextFileBytes + 1);
}

} // namespace
