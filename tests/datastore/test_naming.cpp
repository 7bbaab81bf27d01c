// Store directory and file naming: serial numbers to file names and back to the shown list.
#include "datastore/datastore.h"
#include "datastore/storelayout.h"
#include "store_fixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(StoreNaming, TablesAgree)
{
    // Every code letter decodes to its digit, the letters ascend, and the bound is made of code letters.
    for (int d = 0; d < 10; ++d) {
        EXPECT_EQ(IsnDecodeTable[IsnEncodeTable[d] - 'a'], '0' + d);
        if (d > 0) {
            EXPECT_LT(IsnEncodeTable[d - 1], IsnEncodeTable[d]);
        }
        EXPECT_NE(QByteArray(IsnEncodeTable).indexOf(IsnDecodeBound[d]), -1);
    }
    EXPECT_EQ(QByteArray(IsnDecodeTable).size(), 26);
}

TEST(StoreNaming, PadBlankAndMap)
{
    EXPECT_EQ(PadLeftTo(QStringLiteral(" 123 "), 10, QLatin1Char('0')), QStringLiteral("0000000123"));
    EXPECT_EQ(PadLeftTo(QStringLiteral("123456789012"), 10, QLatin1Char('0')), QStringLiteral("1234567890"));
    EXPECT_EQ(PadLeftTo(QString(), 3, QLatin1Char('x')), QStringLiteral("xxx"));

    EXPECT_EQ(BlankLeadingZeros(QStringLiteral("0000012345")), QStringLiteral("     12345"));
    EXPECT_EQ(BlankLeadingZeros(QStringLiteral("0000000000")), QStringLiteral("         0"));
    EXPECT_EQ(BlankLeadingZeros(QStringLiteral("12005")), QStringLiteral("12005"));
    EXPECT_EQ(BlankLeadingZeros(QStringLiteral("0")), QStringLiteral("0"));
    EXPECT_EQ(BlankLeadingZeros(QStringLiteral("00A05")), QStringLiteral(" 0A05"));

    EXPECT_EQ(MapIsnChars(QStringLiteral("0123456789"), false), QStringLiteral("bcdfgjkmqw"));
    EXPECT_EQ(MapIsnChars(QStringLiteral("bcdfgjkmqw"), true), QStringLiteral("0123456789"));
    // Non-digits survive encoding; decoding leaves upper case and non-letters alone.
    EXPECT_EQ(MapIsnChars(QStringLiteral("AB-12"), false), QStringLiteral("AB-cd"));
    EXPECT_EQ(MapIsnChars(QStringLiteral("AB-cd"), true), QStringLiteral("AB-12"));
    // Above the bound nothing is decoded; at the bound and below, it is.
    EXPECT_EQ(MapIsnChars(QStringLiteral("gbbbbbbbbb"), true), QStringLiteral("gbbbbbbbbb"));
    EXPECT_EQ(MapIsnChars(QStringLiteral("fqcwbdmgkj"), true), QStringLiteral("3819027465"));
}

TEST(StoreNaming, SerialToPathAndBackToTheList)
{
    TDsdStoreLayout layout;
    layout.SetStoreDir(QStringLiteral("/x/store"));
    EXPECT_EQ(layout.DsdIsnToDataStoreName(QStringLiteral("123")),
              QStringLiteral("/x/store/.isn.bbbbbbbcdf"));
    EXPECT_EQ(layout.DsdIsnToDataStoreName(QString()), QStringLiteral("/x/store/.isn.bbbbbbbbbb"));
    EXPECT_EQ(DsdIsnFromSearchRec(QStringLiteral(".isn.bbbbbbbcdf")), QStringLiteral("       123"));

    // What the list shows leads back to the same file, for serial numbers of every width.
    for (const char *serial : {"0", "7", "123", "4051", "99999999", "2147483647", "3819027465", "12005"}) {
        const QString path = layout.DsdIsnToDataStoreName(QLatin1String(serial));
        const QString shown = DsdIsnFromSearchRec(QFileInfo(path).fileName());
        EXPECT_EQ(shown.size(), 10);
        EXPECT_EQ(shown.trimmed(), QLatin1String(serial));
        EXPECT_EQ(layout.DsdIsnToDataStoreName(shown), path) << serial;
    }
}

TEST(StoreNaming, ListOfStoredInstruments)
{
    QTemporaryDir temp;
    TDsdStoreLayout layout;
    layout.SetStoreDir(temp.filePath(QStringLiteral("a/b/") + TDsdStoreLayout::StoreDirName()));
    EXPECT_TRUE(layout.StoredInstruments().isEmpty()); // not even created yet
    ASSERT_TRUE(layout.EnsureStoreDir());
    EXPECT_TRUE(layout.StoredInstruments().isEmpty());
    EXPECT_EQ(QFileInfo(layout.StoreDir()).permissions() & 0x0077, 0); // nobody but the owner

    for (const char *serial : {"123", "4000000000", "9", "77"})
        ASSERT_TRUE(WriteBytes(layout.DsdIsnToDataStoreName(QLatin1String(serial)), "x"));
    // Companions and foreign names do not show.
    const QString p = layout.DsdIsnToDataStoreName(QStringLiteral("55"));
    ASSERT_TRUE(WriteBytes(p + QStringLiteral(".tmp"), "x"));
    ASSERT_TRUE(WriteBytes(p + QStringLiteral(".bak"), "x"));
    ASSERT_TRUE(WriteBytes(layout.StoreDir() + QStringLiteral("/.isn.bbbbb"), "x"));
    ASSERT_TRUE(WriteBytes(layout.StoreDir() + QStringLiteral("/readme.txt"), "x"));

    const QStringList expected = {QStringLiteral("         9"), QStringLiteral("        77"),
                                  QStringLiteral("       123"), QStringLiteral("gbbbbbbbbb")};
    EXPECT_EQ(layout.StoredInstruments(), expected);
}

TEST(StoreNaming, StoreDirectoryBesideTheProgramByDefault)
{
    TDsdStoreLayout layout;
    const QString dir = layout.StoreDir();
    EXPECT_TRUE(dir.endsWith(QStringLiteral("/.D\u00e4t\u00e4St\u00f6r\u00eb"))) << dir.toStdString();
    // The name is UTF-8 on disk: ten characters, fourteen bytes.
    EXPECT_EQ(TDsdStoreLayout::StoreDirName().toUtf8().size(), 14);
    EXPECT_EQ(QFile::encodeName(TDsdStoreLayout::StoreDirName()), TDsdStoreLayout::StoreDirName().toUtf8());
}

TEST(StoreNaming, TheTabsListAndTheChosenInstrument)
{
    QTemporaryDir temp;
    TRecordingReporter reporter;
    TDsdDataStore tab;
    tab.SetReporter(&reporter);
    tab.Layout.SetStoreDir(temp.filePath(QStringLiteral("s")));
    tab.Records.Locale = QLocale(QLocale::English, QLocale::UnitedKingdom);

    tab.DsdTabPopup(); // an empty store: nothing listed, nothing selected
    EXPECT_TRUE(tab.IsnList.isEmpty());
    EXPECT_EQ(tab.SelectedIsn, -1);
    EXPECT_EQ(tab.DsdIsnFromControl(), QString());

    ASSERT_TRUE(WriteBytes(tab.Layout.DsdIsnToDataStoreName(QStringLiteral("77")), StoreBytes(12, true)));
    ASSERT_TRUE(WriteBytes(tab.Layout.DsdIsnToDataStoreName(QStringLiteral("9")), StoreBytes(0, true)));
    tab.DsdTabPopup();
    EXPECT_EQ(tab.IsnList, (QStringList{QStringLiteral("         9"), QStringLiteral("        77")}));
    EXPECT_EQ(tab.SelectedIsn, 0); // the lowest serial number, not loaded yet
    EXPECT_EQ(tab.Records.RecordCount(), 0u);

    tab.DsdIsnChange(1);
    EXPECT_TRUE(tab.RecordControlsEnabled);
    EXPECT_EQ(tab.Records.RecordCount(), 12u);
    EXPECT_EQ(tab.OldestUploadedRec, "1,18/02/2008,00:07:07,1037,kg,GROSS,0,kg,TARE,1,p");
    EXPECT_TRUE(tab.NewestUploadedRec.startsWith("12,18/02/2008,01:24:07,"));
    EXPECT_EQ(tab.Selection.TopIndex, 0u);
    EXPECT_EQ(tab.Selection.LastIndex, 11u);

    tab.DsdIsnChange(0); // a store file without records
    EXPECT_FALSE(tab.RecordControlsEnabled);
    EXPECT_TRUE(tab.OldestUploadedRec.isEmpty());

    // With the link open, an instrument that is unknown or silent is checked (the check says so
    // itself), and the stores, the PC's files, stay listed.
    tab.LinkOpen = [] { return true; };
    int checks = 0;
    tab.CheckInstrumentKnown = [&] { return ++checks, false; };
    tab.DsdTabPopup();
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(tab.IsnList.size(), 2);
    EXPECT_TRUE(reporter.Errors.isEmpty()) << reporter.Errors.join('\n').toStdString();
}
