// The data plate's text from the instrument's full-scale and division registers.
#include "display/plate.h"

#include "link/comms.h"
#include "link/transact.h"

namespace
{

// "3000.00" reads as "3000": a plate states the weight without trailing zeros.
QByteArray PlateWeight(QByteArray text)
{
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    return text;
}

bool PlainDecimal(const QByteArray &text)
{
    int digits = 0, points = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return false;
    }
    return digits > 0 && points <= 1 && !text.startsWith('.') && !text.endsWith('.');
}

} // namespace

QByteArray CapacityPlateText(const QByteArray &fullScaleText, const QByteArray &divisionHex)
{
    const QByteArray text = fullScaleText.trimmed();
    const qsizetype space = text.lastIndexOf(' ');
    if (space <= 0)
        return {};
    const QByteArray number = text.left(space).trimmed();
    const QByteArray units = text.mid(space + 1);
    if (!PlainDecimal(number) || units.isEmpty())
        return {};
    for (char c : units)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return {};
    bool ok = false;
    const qlonglong division = divisionHex.trimmed().toLongLong(&ok, 16);
    if (!ok || division < 1 || division > 100)
        return {};
    const qsizetype point = number.indexOf('.');
    const int decimals = point < 0 ? 0 : int(number.size() - point - 1);
    // The division counts displayed digits: with two decimals, 5 is 0.05.
    QByteArray step = QByteArray::number(division);
    if (decimals > 0) {
        step = step.rightJustified(decimals + 1, '0');
        step.insert(step.size() - decimals, '.');
    }
    return "Max " + PlateWeight(number) + ' ' + units + "   e = " + PlateWeight(step) + ' ' + units;
}

QByteArray ReadCapacityPlate(TTransactionEngine &engine)
{
    auto read = [&engine](int command, int reg, const QByteArray &arg, QByteArray &into) {
        if (!engine.Transact(command, reg, arg, true, false))
            return false;
        into = engine.LastReply.Data;
        return true;
    };
    QByteArray item, fullScale, division;
    // The item's name answers as its type, two characters, then the name ("0300E").
    if (!read(CmdReadItem, PlateDivisionRegister, {}, item) || item.mid(4).trimmed() != PlateDivisionName)
        return {};
    if (!read(CmdReadFormatted, PlateFullScaleRegister, {}, fullScale) ||
        !read(CmdRead, PlateDivisionRegister, {}, division))
        return {};
    return CapacityPlateText(fullScale, division);
}
