// Generation and formatting of the simulated audit records.
#include "records.h"

#include <QTimeZone>

namespace
{

uint64_t NextRandom(uint64_t &state)
{
    // splitmix64: small, fast and the same on every platform.
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

QByteArray PaddedNumber(int32_t v)
{
    // The instrument pads numbers to eight places; a sign stands in front of the padding.
    if (v < 0)
        return '-' + QByteArray::number(-static_cast<int64_t>(v)).rightJustified(7, ' ');
    return QByteArray::number(v).rightJustified(8, ' ');
}

} // namespace

TSimRecords::TEntry TSimRecords::Make(int64_t seconds)
{
    TEntry e;
    e.Seconds = seconds;
    const uint64_t r = NextRandom(RandomState);
    e.Gross = static_cast<int32_t>(r % 20000) - (r % 50 == 0 ? 20100 : 0);
    e.Tare = (r >> 20) % 4 == 0 ? static_cast<int32_t>((r >> 24) % 500) : 0;
    e.Product = static_cast<uint8_t>(1 + (r >> 40) % 20);
    return e;
}

void TSimRecords::Generate(uint32_t count, uint32_t first, uint32_t seed)
{
    Entries.clear();
    Entries.reserve(count);
    First = first;
    RandomState = seed;
    int64_t t = QDateTime(QDate(2008, 2, 18), QTime(15, 25, 21), Qt::UTC).toSecsSinceEpoch();
    for (uint32_t i = 0; i < count; ++i) {
        Entries.push_back(Make(t));
        t += 30 + static_cast<int64_t>(NextRandom(RandomState) % 7200);
    }
    Position = First - 1;
}

void TSimRecords::Append(const QDateTime &when)
{
    int64_t t = when.toSecsSinceEpoch();
    if (!Entries.empty() && t <= Entries.back().Seconds)
        t = Entries.back().Seconds + 1;
    Entries.push_back(Make(t));
}

QByteArray TSimRecords::Text(uint32_t number) const
{
    if (!Has(number))
        return {};
    const TEntry &e = Entries[number - First];
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(e.Seconds, Qt::UTC);
    QByteArray text = QByteArray::number(number);
    text += ',' + dt.toString(QStringLiteral("yyyy/MM/dd,HH:mm:ss")).toLatin1();
    text += ',' + PaddedNumber(e.Gross) + ",kg,GROSS,";
    text += PaddedNumber(e.Tare) + ",kg,TARE,";
    text += QByteArray::number(e.Product) + ",p";
    return text;
}
