// A loaded store file that another program cuts short or rewrites in place: no crash, the user is
// told, the records whose bytes changed are not shown as good, and nothing is written to the file.
#include "datastore/extract.h"
#include "store_fixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/mman.h>

TEST(StoreChanged, RecordsAfterTheChangeAreNotShownAsGood)
{
    // In place: cut to CutTo bytes, then rewritten from the start without line DropLine, or one
    // byte changed at FlipAt (-1: not done).
    const struct {
        const char *Name;
        qint64 CutTo;
        int DropLine;
        qint64 FlipAt;
    } changes[] = {{"cut to nothing", 0, -1, -1},
                   {"cut in the middle of a page and a line", 70001, -1, -1},
                   {"rewritten one line shorter", 0, 1000, -1},
                   {"one byte changed", -1, -1, 90000}};
    for (const bool scramble : {true, false}) {
        for (const auto &change : changes) {
            SCOPED_TRACE(std::string(change.Name) + (scramble ? ", scrambled" : ", plain"));
            QTemporaryDir temp;
            const QString path = temp.filePath(QStringLiteral("store"));
            const QByteArray before = StoreBytes(3000, scramble);
            ASSERT_TRUE(WriteBytes(path, before));
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            // Written long ago: a change made now shows in the time even at the same size.
            ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                         QFileDevice::FileModificationTime));
            TRecordingReporter reporter;
            TDsdRecordStore store;
            store.ScrambleLines = scramble;
            store.Reporter = &reporter;
            ASSERT_TRUE(store.DsdMemMapFileInit(path, QStringLiteral("1234567")));
            ASSERT_EQ(store.FileVerdict(), 0);
            ASSERT_FALSE(store.FileChanged());
            std::vector<QByteArray> shown;
            for (uint32_t i = 0; i < store.RecordCount(); ++i)
                shown.push_back(store.DsdRecordObtain(i));

            if (change.CutTo >= 0) {
                ASSERT_TRUE(file.resize(change.CutTo));
            }
            if (change.DropLine >= 0) {
                QList<QByteArray> lines = before.split('\n');
                lines.removeAt(change.DropLine);
                file.write(lines.join('\n'));
            }
            if (change.FlipAt >= 0 && file.seek(change.FlipAt))
                file.write(QByteArray(1, char(before[change.FlipAt] ^ 1)));
            file.close();
            const QByteArray after = ReadBytes(path);

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

            // The record window: the message first, then a record is shown as loaded exactly when
            // the bytes that were checked are still there.
            selection.WindowLines = int(store.RecordCount()) + 1;
            selection.DsdScrollBitBtnClick(ScrollOldest);
            const std::vector<TDsdWindowLine> lines = selection.DsdRecordWindowPopulate();
            ASSERT_EQ(lines.size(), store.RecordCount() + 1);
            EXPECT_EQ(lines[0].Text, StoreChangedText);
            uint32_t good = 0;
            for (uint32_t i = 0; i < store.RecordCount(); ++i) {
                const TDsdRecordEntry &e = store.Entry(i);
                const bool intact = e.Line + e.Length <= uint32_t(after.size()) &&
                                    after.mid(e.Line, e.Length) == before.mid(e.Line, e.Length);
                good += intact;
                EXPECT_EQ(lines[i + 1].Text,
                          intact ? shown[i] : "*****,FILE TAMPER," + QByteArray::number(e.Number));
                EXPECT_EQ(lines[i + 1].Red, !intact) << "record " << i;
            }
            EXPECT_LT(good, 3000u);
            EXPECT_EQ(ReadBytes(path), after); // nothing was written to the store file
        }
    }
}

TEST(StoreChanged, BusErrorsOutsideStoreMappingsStillEndTheProgram)
{
    QTemporaryDir temp;
    const QByteArray bytes = StoreBytes(3000, false);
    ASSERT_TRUE(WriteBytes(temp.filePath(QStringLiteral("store")), bytes));
    TDsdRecordStore store; // its mapping puts the handler in place
    ASSERT_TRUE(store.DsdMemMapFileInit(temp.filePath(QStringLiteral("store")), QStringLiteral("1")));
    QFile other(temp.filePath(QStringLiteral("other")));
    ASSERT_TRUE(other.open(QIODevice::ReadWrite) && other.write(bytes) == bytes.size() && other.flush());
    const auto *foreign = static_cast<const volatile char *>(
        mmap(nullptr, std::size_t(bytes.size()), PROT_READ, MAP_PRIVATE, int(other.handle()), 0));
    ASSERT_NE(foreign, MAP_FAILED);
    ASSERT_TRUE(other.resize(0));
    EXPECT_DEATH((void)foreign[bytes.size() - 1], "");
    munmap(const_cast<char *>(foreign), std::size_t(bytes.size()));
}
