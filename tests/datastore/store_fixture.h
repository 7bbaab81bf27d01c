// Shared helpers of the record-store tests: generated store files.
#pragma once

#include "datastore/recordfile.h"
#include "datastore/recordstore.h"
#include "fake_link.h"
#include "link/reporter.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <vector>

// Record n as the instrument sends it: one record every 7 minutes from 18 Feb 2008 00:00:07.
inline QByteArray InstrumentRecord(uint32_t n)
{
    const QDateTime at = QDateTime(QDate(2008, 2, 18), QTime(0, 0, 7)).addSecs(420LL * n);
    const QByteArray weight = QByteArray::number(1000 + (n * 37) % 9000).rightJustified(8, ' ');
    return QByteArray::number(n) + "," + at.toString(QStringLiteral("yyyy/MM/dd,hh:mm:ss")).toLatin1() + "," +
           weight + ",kg,GROSS,       0,kg,TARE," + QByteArray::number(n % 97) + ",p";
}

// The stored lines (each with its LF) of records first..first+count-1, seq 1..count, and the trailer.
inline QList<QByteArray> StoreLines(uint32_t count, bool scramble, uint32_t first = 1)
{
    QList<QByteArray> lines;
    for (uint32_t i = 0; i < count; ++i) {
        const QByteArray line = DsdRecordLine(i + 1, DsdRecordFixFormatting(InstrumentRecord(first + i)));
        lines += (scramble ? ScrambleLine(line) : line) + '\n';
    }
    const QByteArray trailer = DsdRecordLine(count, DsdTrailerRecord(count ? first + count - 1 : 0));
    lines += (scramble ? ScrambleLine(trailer) : trailer) + '\n';
    return lines;
}

inline QByteArray StoreBytes(uint32_t count, bool scramble, uint32_t first = 1)
{
    return StoreLines(count, scramble, first).join();
}

inline bool WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The records of a store file (number order as stored), empty when it does not load cleanly.
inline std::vector<uint32_t> SoundRecordNumbers(const QString &path)
{
    TRecordingReporter quiet;
    TDsdRecordStore store;
    store.Reporter = &quiet;
    std::vector<uint32_t> numbers;
    if (!store.DsdMemMapFileInit(path, QString()) || store.FileVerdict() != 0)
        return numbers;
    for (uint32_t i = 0; i < store.RecordCount(); ++i)
        numbers.push_back(store.Entry(i).Number);
    return numbers;
}

inline std::vector<uint32_t> NumberRange(uint32_t first, uint32_t last)
{
    std::vector<uint32_t> v;
    for (uint32_t n = first; n <= last; ++n)
        v.push_back(n);
    return v;
}

inline QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
