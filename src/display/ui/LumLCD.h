// The segment LCD drawing component: composes the segment map from the mask pictures once
// (cached in a ".kmp" file beside the program), rescales it to the drawing size and renders the
// lit glass through an 8-bit palette, so that a change of segment states costs one table update
// and one pass of lookups.
#pragma once

#include "display/LumBitmap.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QString>
#include <memory>

class QPainter;

class TLumLCD
{
public:
    TLumLCD();

    QColor OnColour = Qt::black;
    QColor OffColour = Qt::black;
    int MapHeight = 20;
    int MapWidth = 40;
    TLumBitmap ScaledMap;
    QImage RenderBitmap;                      // 8-bit paletted, the drawing size
    QList<QRgb> Palette;                      // empty until the first draw
    const QList<QImage> *ImageList = nullptr; // not owned
    bool UseImageList = false;
    TLumLookUp LookUp{};
    QString MapName;
    std::array<TLcdSegment, LcdSegmentCount> Segments{};
    TLcdStates States{};

    // Folder of the mask pictures and of the cache files; the program's folder unless set.
    QString ProgramDir;

    // Stamps the mask of one segment into map; false (Error set) when the mask cannot be read.
    bool AddSegmentMask(int digit, int bit, TLumBitmap &map);
    // Obtains the unscaled map (cache file, else the masks, writing the cache) and prepares
    // ScaledMap and RenderBitmap for width x height. False (Error set) when the masks cannot be
    // read; the glass then draws as unlit background. Below 2 pixels in either direction there is
    // nothing to draw and nothing is built.
    bool BuildMap(int width, int height);
    bool MakePalette(int width, int height);
    // Renders States into the width x height rectangle at (x, y). False when nothing could be
    // drawn properly (Error tells why; the rectangle then shows OffColour where it can).
    bool Draw(int x, int y, QPainter &canvas, int height, int width);
    // The same into an image directly (the canvas of a mimic is one).
    bool Draw(int x, int y, QImage &canvas, int height, int width);

    QString CachePath() const;
    QString Error;      // why the last build or draw failed
    QString CacheError; // the cache could not be written: the map is kept in memory instead
    // How the unscaled map was last obtained, for tests and benchmarks.
    int MapsComposed = 0;
    int CacheLoads = 0;

private:
    // Builds what the size needs and fills the lookup table from States.
    bool Prepare(int width, int height);
    QImage MaskPicture(const TLcdSegment &e);

    TLumRowMap RowMap;
    // Kept only when the cache file could not be written, so that a resize need not read every
    // mask again.
    std::unique_ptr<TLumBitmap> KeptMap;
    QHash<QString, QImage> MaskCache; // during one composition
    bool Built = false;
};
