// Record display text: times of day written without QLocale read exactly as QLocale writes them,
// and lines with odd bytes, blanks or few fields shown as the record window shows them.
#include "datastore/recordstore.h"

#include <QTime>
#include <gtest/gtest.h>

TEST(RecordText, TimesOfDayReadAsTheLocaleWritesThem)
{
    const QLocale uk(QLocale::English, QLocale::UnitedKingdom), us(QLocale::English, QLocale::UnitedStates);
    const struct {
        QLocale Locale;
        QString Format;
    } cases[] = {
        {uk, QStringLiteral("HH:mm:ss")},
        {us, QStringLiteral("h:mm:ss AP")},
        {us, us.timeFormat(QLocale::ShortFormat)},
        {QLocale(QLocale::German), QLocale(QLocale::German).timeFormat(QLocale::ShortFormat)},
        {QLocale(QLocale::Korean), QLocale(QLocale::Korean).timeFormat(QLocale::ShortFormat)},
        {QLocale(QLocale::Arabic, QLocale::Egypt), QStringLiteral("h:mm:ss AP")}, // digits other than 0-9
        {QLocale::c(), QStringLiteral("h 'h' m 'min' s's' ap ''")},
        {QLocale::c(), QStringLiteral("H:m:s a hh HH")},
        {QLocale::c(), QStringLiteral("hh.mm.ss.zzz")}, // milliseconds: QLocale writes it
        {QLocale::c(), QStringLiteral("hh 'unclosed")},
    };
    for (const auto &c : cases) {
        TDsdTimeFormatter formatter;
        formatter.SetFormat(c.Locale, c.Format);
        for (int t = 0; t < 86400; t += 61) {
            for (const int s : {t, 86399 - t}) {
                const QTime time(s / 3600, s / 60 % 60, s % 60);
                QByteArray text = "x";
                formatter.Append(time.hour(), time.minute(), time.second(), text);
                ASSERT_EQ(text, "x" + c.Locale.toString(time, c.Format).toUtf8())
                    << c.Locale.name().toStdString() << " " << c.Format.toStdString() << " " << s;
            }
        }
    }
}

TEST(RecordText, LinesWithOddBytesBlanksOrFewFields)
{
    // V1J is the check value every line passes; plain lines, one test line after a good first one.
    const struct {
        QByteArray Line;
        QByteArray Shown;
    } cases[] = {
        {"V1J,2,7,20080218,093005,25\xB0"
         "C,\xE9t\xE9",
         "7,18/02/2008,09:30:05,25\xC2\xB0"
         "C,\xC3\xA9t\xC3\xA9"},
        {"V1J,2,7,20080218,093005, 12 ,kg  \t\r", "7,18/02/2008,09:30:05, 12 ,kg"},
        {"  V1J,2,7,20080218,093005,1", "7,18/02/2008,09:30:05,1"},
        {"V1J,2,7,20080218,093005", "*****,RECORD FORMAT,7,20080218,093005"},
        {"V1J,2,7,20080218", "*****,RECORD FORMAT,7,20080218"},
        {"V1J,2", "*****,FILE TAMPER,RECORD FORMAT,"}, // seq unread: 0
        {"V1J,2,7,20080231,250000,w", "7,20080231,250000,w"},
        {"V1J,3,7,20080218,093005,w", "*****,FILE TAMPER,7,18/02/2008,09:30:05,w"},
        {"V1J,2,7,20080218,093005,w," + QByteArray(300, 'a'),
         "7,18/02/2008,09:30:05,w," + QByteArray(MaxLineExamined - 26, 'a')},
    };
    for (const auto &c : cases) {
        const QByteArray bytes = "V1J,1,6,20080218,093000,w\n" + c.Line + "\n";
        TDsdRecordStore store;
        store.ScrambleLines = false;
        store.Locale = QLocale(QLocale::English, QLocale::UnitedKingdom);
        store.LoadBytes(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        ASSERT_EQ(store.RecordCount(), 2u) << c.Line.constData();
        EXPECT_EQ(store.DsdRecordObtain(0), "6,18/02/2008,09:30:00,w") << c.Line.constData();
        EXPECT_EQ(store.DsdRecordObtain(1), c.Shown) << c.Line.constData();
    }
}
