// Plain data shared by the segment-LCD drawing components: segment entries, on/off states,
// key rectangles in per mille of the control, and the per-mille hit test.
#pragma once

#include <QString>
#include <array>
#include <cstdint>

// The glass holds up to 104 digits of 4 segments each.
inline constexpr int LcdDigitCount = 104;
inline constexpr int LcdBitsPerDigit = 4;
inline constexpr int LcdSegmentCount = LcdDigitCount * LcdBitsPerDigit;
// Map value of a pixel that belongs to no segment.
inline constexpr uint16_t LcdBackground = 500;
// Room in the key table.
inline constexpr int LcdMaxKeys = 50;

// One segment: where its mask's top-left corner lies on the unscaled map, and the mask picture
// (relative to the program's folder) or its index in an image list.
struct TLcdSegment {
    int Row = 0;
    int Column = 0;
    QString MaskFile;
    int ImageIndex = 0;
};

// States[digit][bit]: 0 unlit, 1 lit.
using TLcdStates = std::array<std::array<uint8_t, LcdBitsPerDigit>, LcdDigitCount>;

// Entry e of the segment table is digit e / 4, bit e % 4; the map stores bit * 104 + digit.
inline constexpr int LcdSegmentNumber(int digit, int bit)
{
    return bit * LcdDigitCount + digit;
}
inline constexpr int LcdEntryDigit(int entry)
{
    return entry / LcdBitsPerDigit;
}
inline constexpr int LcdEntryBit(int entry)
{
    return entry % LcdBitsPerDigit;
}

// A key rectangle, per mille of the control's width (Left, Right) and height (Top, Bottom),
// edges inclusive, and the picture stamped over it while pressed.
struct TLcdKey {
    int Left = 0;
    int Right = 0;
    int Top = 0;
    int Bottom = 0;
    int ImageIndex = 0;
};

// The first key whose rectangle holds the per-mille point, or -1.
inline int LcdKeyAtPerMille(const TLcdKey *keys, int count, int px, int py)
{
    for (int i = 0; i < count; ++i) {
        const TLcdKey &k = keys[i];
        if (k.Left <= px && px <= k.Right && k.Top <= py && py <= k.Bottom)
            return i;
    }
    return -1;
}

// The same for a point in pixels of a control of width x height; -1 for an empty control.
inline int LcdKeyAtPixel(const TLcdKey *keys, int count, int x, int y, int width, int height)
{
    if (width <= 0 || height <= 0)
        return -1;
    return LcdKeyAtPerMille(keys, count, int(int64_t(x) * 1000 / width), int(int64_t(y) * 1000 / height));
}
