// The segment map, its cache file and rescale, and the render arithmetic of the segment LCD.
#include "LumBitmap.h"

#include "base/wholefile.h"

#include <QFile>
#include <QtEndian>
#include <algorithm>

void TLumBitmap::SetSize(int width, int height)
{
    Width = std::max(0, width);
    Height = std::max(0, height);
    Data.assign(size_t(Width) * size_t(Height), 0);
}

bool TLumBitmap::SaveToFile(const QString &path)
{
    // Written whole or not at all: a half-written cache would be refused on the next start anyway,
    // but an old good one is better kept than replaced by a broken one. An empty map is no cache:
    // it would be refused when read.
    if (Data.empty()) {
        Error = QStringLiteral("An empty segment map is not saved to %1").arg(path);
        return false;
    }
    QByteArray bytes(8 + qsizetype(Data.size()) * 2, Qt::Uninitialized);
    qToLittleEndian<qint32>(Width, bytes.data());
    qToLittleEndian<qint32>(Height, bytes.data() + 4);
    qToLittleEndian<quint16>(Data.data(), qsizetype(Data.size()), bytes.data() + 8);
    return WriteWholeFile(path, bytes, &Error);
}

bool TLumBitmap::LoadFromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    char header[8];
    if (file.read(header, sizeof header) != qint64(sizeof header)) {
        Error = QStringLiteral("%1 is too short for a segment map").arg(path);
        return false;
    }
    const qint32 w = qFromLittleEndian<qint32>(header);
    const qint32 h = qFromLittleEndian<qint32>(header + 4);
    if (w <= 0 || h <= 0 || w > LumMaxMapSide || h > LumMaxMapSide || qint64(w) * h > LumMaxMapPixels) {
        Error = QStringLiteral("%1 holds an impossible map size %2 x %3").arg(path).arg(w).arg(h);
        return false;
    }
    const qint64 expected = 8 + qint64(w) * qint64(h) * 2;
    if (file.size() != expected) {
        Error = QStringLiteral("%1 is damaged: %2 bytes where a %3 x %4 map needs %5")
                    .arg(path)
                    .arg(file.size())
                    .arg(w)
                    .arg(h)
                    .arg(expected);
        return false;
    }
    const QByteArray body = file.read(expected - 8);
    if (body.size() != expected - 8) {
        Error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    SetSize(w, h);
    qFromLittleEndian<quint16>(body.constData(), qsizetype(Data.size()), Data.data());
    return true;
}

std::vector<int> StretchIndexes(int sourceSize, int targetSize)
{
    std::vector<int> idx(size_t(std::max(0, targetSize)), 0);
    if (targetSize < 2 || sourceSize < 1)
        return idx;
    for (int i = 0; i < targetSize; ++i)
        idx[size_t(i)] = int(int64_t(sourceSize - 1) * i / (targetSize - 1));
    return idx;
}

void TLumBitmap::StretchFrom(const TLumBitmap &source)
{
    if (source.Width <= 0 || source.Height <= 0) {
        Fill(LcdBackground);
        return;
    }
    const std::vector<int> rows = StretchIndexes(source.Height, Height);
    const std::vector<int> cols = StretchIndexes(source.Width, Width);
    for (int x = 0; x < Width; ++x) {
        const uint16_t *src = source.Column(cols[size_t(x)]);
        uint16_t *dst = Column(x);
        for (int y = 0; y < Height; ++y)
            dst[y] = src[rows[size_t(y)]];
    }
}

bool TLumBitmap::SaveAsPicture(const QString &path)
{
    const int rowBytes = (Width * 3 + 3) & ~3;
    const qint64 imageBytes = qint64(rowBytes) * Height;
    QByteArray bmp(54 + imageBytes, '\0');
    char *h = bmp.data();
    h[0] = 'B';
    h[1] = 'M';
    qToLittleEndian<quint32>(quint32(bmp.size()), h + 2);
    qToLittleEndian<quint32>(54, h + 10);
    qToLittleEndian<quint32>(40, h + 14);
    qToLittleEndian<qint32>(Width, h + 18);
    qToLittleEndian<qint32>(Height, h + 22); // bottom-up
    qToLittleEndian<quint16>(1, h + 26);
    qToLittleEndian<quint16>(24, h + 28);
    qToLittleEndian<quint32>(quint32(imageBytes), h + 34);
    for (int y = 0; y < Height; ++y) {
        uchar *row = reinterpret_cast<uchar *>(h + 54 + qint64(Height - 1 - y) * rowBytes);
        for (int x = 0; x < Width; ++x) {
            const uint16_t v = At(x, y);
            uchar *px = row + x * 3;
            if (v >= LcdSegmentCount) {
                px[0] = px[1] = px[2] = 255;
            } else {
                px[0] = uchar(40 + (v * 53) % 160); // blue, green, red
                px[1] = uchar(40 + (v * 91) % 160);
                px[2] = uchar(40 + (v * 37) % 160);
            }
        }
    }
    return WriteWholeFile(path, bmp, &Error);
}

void StampMask(TLumBitmap &map, const uint8_t *maskPixels, int maskWidth, int maskHeight, int stride, int row,
               int column, uint16_t number)
{
    for (int i = 0; i < maskHeight; ++i) {
        const int y = row + i;
        if (y >= map.Height)
            break;
        if (y < 0)
            continue;
        const uint8_t *src = maskPixels + size_t(i) * size_t(stride);
        for (int k = 0; k < maskWidth; ++k) {
            const int x = column + k;
            if (x >= map.Width)
                break;
            if (x >= 0 && src[k] == 0)
                map.Set(x, y, number);
        }
    }
}

void FillLookUp(const TLcdStates &states, TLumLookUp &lookUp)
{
    lookUp.fill(LumOffIndex);
    for (int digit = 0; digit < LcdDigitCount; ++digit)
        for (int bit = 0; bit < LcdBitsPerDigit; ++bit)
            lookUp[size_t(LcdSegmentNumber(digit, bit))] =
                uint8_t(LumOffIndex + (states[digit][bit] ? 1 : 0));
}

void TLumRowMap::From(const TLumBitmap &map)
{
    Width = map.Width;
    Height = map.Height;
    Pixels.resize(size_t(Width) * size_t(Height));
    for (int x = 0; x < Width; ++x) {
        const uint16_t *col = map.Column(x);
        for (int y = 0; y < Height; ++y)
            Pixels[size_t(y) * size_t(Width) + size_t(x)] = std::min<uint16_t>(col[y], LcdBackground);
    }
}

void RenderLookUp(const TLumRowMap &map, const TLumLookUp &lookUp, uint8_t *dst, int stride)
{
    const uint8_t *table = lookUp.data();
    for (int y = 0; y < map.Height; ++y) {
        const uint16_t *src = map.Pixels.data() + size_t(y) * size_t(map.Width);
        uint8_t *out = dst + size_t(y) * size_t(stride);
        for (int x = 0; x < map.Width; ++x)
            out[x] = table[src[x]];
    }
}
