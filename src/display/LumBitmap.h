// A map of 16-bit segment numbers (column-major), its ".kmp" cache file, the nearest-neighbour
// rescale and the arithmetic of drawing a segment LCD from it: stamping masks, the palette
// lookup table and the one pass of lookups that renders the lit glass.
#pragma once

#include "display/LumTypes.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

class TLumBitmap
{
public:
    int Width = 0;
    int Height = 0;

    // Stores both and allocates Width columns of Height values (all 0). Negative sizes count as 0.
    void SetSize(int width, int height);
    // Pixel (x, y) of the map; Column(x)[y] is the same value.
    uint16_t *Column(int x) { return Data.data() + size_t(x) * size_t(Height); }
    const uint16_t *Column(int x) const { return Data.data() + size_t(x) * size_t(Height); }
    uint16_t At(int x, int y) const { return Column(x)[y]; }
    void Set(int x, int y, uint16_t v) { Column(x)[y] = v; }
    void Fill(uint16_t v) { std::fill(Data.begin(), Data.end(), v); }

    // The cache file: Width and Height (signed 32-bit, little-endian), then the columns x = 0..
    // Width-1, each Height unsigned 16-bit values. False with Error set when it cannot be written.
    bool SaveToFile(const QString &path);
    // Reads that format, taking the size from the file. A file that is missing, shorter than its
    // header claims, longer, or with an impossible size is refused (false, Error set, map left
    // as it was), so that a damaged cache is rebuilt rather than drawn.
    bool LoadFromFile(const QString &path);
    // Fills this map, at its current size, from source by nearest neighbour: target column x
    // takes source column x * (SW - 1) / (W - 1), likewise rows, so the first and last rows and
    // columns meet. A one-pixel target takes the source's first pixel; an empty source leaves 500.
    void StretchFrom(const TLumBitmap &source);
    // A diagnostic picture of the map (24-bit Windows bitmap: background white, each segment a
    // colour of its own). Nothing reads it back.
    bool SaveAsPicture(const QString &path);

    QString Error;

private:
    std::vector<uint16_t> Data;
};

// Largest map the cache reader accepts: pixels per side and in all (128 MB of map).
inline constexpr int LumMaxMapSide = 32768;
inline constexpr qint64 LumMaxMapPixels = qint64(1) << 26;

// Source index for each of targetSize indexes: i * (sourceSize - 1) / (targetSize - 1),
// integer arithmetic, sized to the target (no fixed limit). A target of 1 takes index 0.
std::vector<int> StretchIndexes(int sourceSize, int targetSize);

// Stamps one mask into a map: mask pixel (k, i) with value 0 sets map pixel (column + k, row + i)
// to number; pixels past the map's right or bottom edge (or left of / above it) are clipped.
// maskPixels holds maskHeight rows of stride bytes.
void StampMask(TLumBitmap &map, const uint8_t *maskPixels, int maskWidth, int maskHeight, int stride, int row,
               int column, uint16_t number);

// Palette indexes of the drawing: the background and unlit segments, and lit segments.
inline constexpr uint8_t LumOffIndex = 100;
inline constexpr uint8_t LumOnIndex = 101;
using TLumLookUp = std::array<uint8_t, LcdBackground + 1>;
// Entry bit * 104 + digit gets 100 + States[digit][bit]; entry 500 gets 100; the unused
// entries 416..499 get 100 too, so a stray map value draws as background.
void FillLookUp(const TLcdStates &states, TLumLookUp &lookUp);

// The same map kept row by row, which the render pass reads in the order it writes.
struct TLumRowMap {
    int Width = 0;
    int Height = 0;
    std::vector<uint16_t> Pixels; // row-major, values clamped to 0..500
    void From(const TLumBitmap &map);
};
// One pass of lookups: row y of dst (stride bytes apart) gets lookUp of the map's row y.
void RenderLookUp(const TLumRowMap &map, const TLumLookUp &lookUp, uint8_t *dst, int stride);
