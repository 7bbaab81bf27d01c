// A loaded store file that another program cuts short or rewrites in place: no crash, the user is
// told, the records whose bytes changed are not shown as good, and nothing is written to the file.
#include "datastore/datastore.h"
#include "datastore/extract.h"
#include "store_fixture.h"

#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/mman.h>

namespace
{

struct TChange {
    const char *Name;
    // The file's bytes after the change, made by writing to the file in place.
    std::function<QByteArray(const QString &path, const QByteArray &before)> Apply;
};

QByteArray Overwrite(const QString &path, const QByteArray &bytes, qint64 at, bool truncate)
{
    QFile file(path);
    const auto mode = QIODevice::ReadWrite | (truncate ? QIODevice::Truncate : QIODevice::OpenModeFlag{});
    if (!file.open(mode) || !file.seek(at) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "could not change " << path.toStdString();
    file.close();
    return ReadBytes(path);
}

const TChange Changes[] = {
    {"cut to nothing",
     [](const QString &path, const QByteArray &) {
         QFile::resize(path, 0);
         return ReadBytes(path);
     }},
    {"cut in the middle of a page and a line",
     [](const QString &path, const QByteArray &before) {
         QFile::resize(path, before.size() * 2 / 5 + 1001);
         return ReadBytes(path);
     }},
    {"rewritten shorter in place, one line left out",
     [](const QString &path, const QByteArray &before) {
         QList<QByteArray> lines = before.split('\n');
         lines.removeAt(1000);
         return Overwrite(path, lines.join('\n'), 0, true);
     }},
    {"one byte changed in place",
     [](const QString &path, const QByteArray &before) {
         const qint64 at = before.size() / 2;
         return Overwrite(path, QByteArray(1, char(before[at] ^ 0x01)), at, false);
     }},
};

} // namespace

TEST(StoreChanged, RecordsAfterTheChangeAreNotShownAsGood)
{
    for (const bool scramble : {true, false}) {
        for (const TChange &change : Changes) {
            SCOPED_TRACE(std::string(change.Name) + (scramble ? ", scrambled" : ", plain"));
            QTemporaryDir temp;
            const QString path = temp.filePath(QStringLiteral("store"));
            const QByteArray before = StoreBytes(3000, scramble);
            ASSERT_TRUE(WriteBytes(path, before));
            {
                // Written long ago: a change made now shows in the time even at the same size.
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::ReadWrite));
                ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                             QFileDevice::FileModificationTime));
            }
            TRecordingReporter reporter;
            TDsdRecordStore store;
            store.ScrambleLines = scramble;
            store.Reporter = &reporter;
            ASSERT_TRUE(store.DsdMemMapFileInit(path, QStringLiteral("1234567")));
            ASSERT_EQ(store.RecordCount(), 3000u);
            ASSERT_EQ(store.FileVerdict(), 0);
            ASSERT_FALSE(store.FileChanged());
            std::vector<QByteArray> shown;
            for (uint32_t i = 0; i < store.RecordCount(); ++i)
                shown.push_back(store.DsdRecordObtain(i));

            const QByteArray after = change.Apply(path, before);

            // Every record read before anything asks whether the file changed: no crash.
            for (uint32_t i = 0; i < store.RecordCount(); ++i)
                (void)store.DsdRecordObtain(i);
            // An extraction fails with the reason and leaves no file behind.
            TDsdSelection selection(store);
            const QString csv = temp.filePath(QStringLiteral("out.csv"));
            const TDsdExtractResult extracted =
                DsdExtractCsvToFile(selection, QStringLiteral("1"), csv, nullptr);
            EXPECT_FALSE(extracted.Done);
            EXPECT_EQ(extracted.Message, QString::fromLatin1(StoreChangedText));
            EXPECT_FALSE(QFile::exists(csv));
            EXPECT_EQ(store.StatusText, QString::fromLatin1(StoreChangedText));
            EXPECT_TRUE(store.StatusTamper);
            EXPECT_TRUE(store.FileVerdict() & VerdictFileTamper);

            // The record window: the message first, then a record is shown as loaded exactly when
            // the bytes that were checked are still there.
            selection.WindowLines = int(store.RecordCount()) + 1;
            selection.DsdScrollBitBtnClick(ScrollOldest);
            const std::vector<TDsdWindowLine> lines = selection.DsdRecordWindowPopulate();
            ASSERT_EQ(lines.size(), store.RecordCount() + 1);
            EXPECT_EQ(lines[0].Text, StoreChangedText);
            EXPECT_TRUE(lines[0].Red);
            uint32_t good = 0;
            for (uint32_t i = 0; i < store.RecordCount(); ++i) {
                const TDsdRecordEntry &e = store.Entry(i);
                const bool intact = e.Line + e.Length <= uint32_t(after.size()) &&
                                    after.mid(e.Line, e.Length) == before.mid(e.Line, e.Length);
                const TDsdWindowLine &line = lines[i + 1];
                if (intact) {
                    EXPECT_EQ(line.Text, shown[i]) << "record " << i;
                    EXPECT_FALSE(line.Red) << "record " << i;
                    ++good;
                } else {
                    EXPECT_EQ(line.Text, "*****,FILE TAMPER," + QByteArray::number(e.Number));
                    EXPECT_TRUE(line.Red) << "record " << i;
                }
            }
            EXPECT_LT(good, 3000u);
            // Nothing was written to the store file.
            EXPECT_EQ(ReadBytes(path), after);
        }
    }
}

TEST(StoreChanged, MappingOfACutFile)
{
    // What the loader meets when the file is cut while it is being indexed: the file's change
    // shows at once, the pages before the cut keep their bytes and those past it read as zeros.
    QTemporaryDir temp;
    const QString path = temp.filePath(QStringLiteral("store"));
    const QByteArray bytes = StoreBytes(3000, true);
    ASSERT_TRUE(WriteBytes(path, bytes));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    TDsdMapping mapping;
    ASSERT_TRUE(mapping.Map(int(file.handle()), std::size_t(bytes.size())));
    EXPECT_FALSE(mapping.FileChanged());
    QFile::resize(path, 5000);
    EXPECT_TRUE(mapping.FileChanged());
    EXPECT_FALSE(mapping.Damaged());
    EXPECT_EQ(mapping.Data()[bytes.size() - 1], 0);
    EXPECT_TRUE(mapping.Damaged());
    EXPECT_EQ(QByteArray(mapping.Data(), 4096), bytes.left(4096));

    // A bus error anywhere else still ends the program as it did before.
    QFile other(temp.filePath(QStringLiteral("other")));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite) && other.write(bytes) == bytes.size() && other.flush());
    const auto *foreign = static_cast<const volatile char *>(
        mmap(nullptr, std::size_t(bytes.size()), PROT_READ, MAP_PRIVATE, int(other.handle()), 0));
    ASSERT_NE(foreign, MAP_FAILED);
    ASSERT_TRUE(other.resize(0));
    EXPECT_DEATH((void)foreign[bytes.size() - 1], "");
    munmap(const_cast<char *>(foreign), std::size_t(bytes.size()));
}
