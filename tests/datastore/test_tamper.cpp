// Every small damage to a generated store file of 1,000 records must show: byte substitutions in
// a sample of lines, neighbour swaps, single-line deletions and every truncation point.
#include "datastore/recordstore.h"
#include "store_fixture.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace
{

constexpr uint32_t Records = 1000;

class TamperTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        lines = StoreLines(Records, true);
        bytes = lines.join();
        store.Reporter = &reporter; // keeps the tamper messages off the console
    }
    uint8_t Load(const QByteArray &data)
    {
        store.LoadBytes(data.constData(), static_cast<std::size_t>(data.size()));
        return store.FileVerdict();
    }
    qsizetype LineStart(int k) const
    {
        qsizetype pos = 0;
        for (int i = 0; i < k; ++i)
            pos += lines[i].size();
        return pos;
    }
    QList<QByteArray> lines;
    QByteArray bytes;
    TRecordingReporter reporter;
    TDsdRecordStore store;
};

} // namespace

TEST_F(TamperTest, TheUntouchedFileIsClean)
{
    EXPECT_EQ(Load(bytes), 0);
    EXPECT_EQ(store.RecordCount(), Records);
}

TEST_F(TamperTest, EverySubstitutionAfterTheCheckFieldOfSampledLines)
{
    long cases = 0;
    for (int k : {0, 500, 999}) {
        const qsizetype start = LineStart(k);
        // From the comma after the check field to the LF, in stored (scrambled) form.
        const qsizetype from = start + UnscrambleLine(lines[k]).indexOf(',');
        const qsizetype to = start + lines[k].size();
        QByteArray damaged = bytes;
        for (qsizetype pos = from; pos < to; ++pos) {
            const char original = bytes[pos];
            for (int v = 0; v < 256; ++v) {
                if (char(v) == original)
                    continue;
                damaged[pos] = char(v);
                ASSERT_NE(Load(damaged), 0) << "line " << k << " byte " << pos - start << " value " << v;
                ++cases;
            }
            damaged[pos] = original;
        }
    }
    RecordProperty("substitutions", static_cast<int>(cases));
    EXPECT_GT(cases, 3 * 40 * 255);
    std::printf("substitutions checked: %ld\n", cases);
}

TEST_F(TamperTest, EveryNeighbourSwapAndEveryDeletion)
{
    int swaps = 0, deletions = 0;
    for (int k = 0; k + 1 < lines.size(); ++k) { // the trailer's swap with the last record too
        QList<QByteArray> l = lines;
        l.swapItemsAt(k, k + 1);
        ASSERT_NE(Load(l.join()), 0) << "swap " << k;
        ++swaps;
    }
    for (int k = 0; k < lines.size(); ++k) { // the trailer too
        QList<QByteArray> l = lines;
        l.removeAt(k);
        ASSERT_NE(Load(l.join()), 0) << "deletion " << k;
        ++deletions;
    }
    EXPECT_EQ(swaps, static_cast<int>(Records));
    EXPECT_EQ(deletions, static_cast<int>(Records) + 1);
    std::printf("swaps checked: %d, deletions checked: %d\n", swaps, deletions);
}

TEST_F(TamperTest, EveryTruncationPoint)
{
    for (qsizetype size = 0; size < bytes.size(); ++size) {
        store.LoadBytes(bytes.constData(), static_cast<std::size_t>(size));
        ASSERT_NE(store.FileVerdict() & VerdictFileIncomplete, 0) << "cut at " << size;
    }
    std::printf("truncation points checked: %lld\n", static_cast<long long>(bytes.size()));
}
