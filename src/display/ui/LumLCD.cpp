// The segment LCD drawing component: map composition and caching, rescale, palette and lookups.
#include "LumLCD.h"

#include "base/apppaths.h"
#include "i18n/LumsLang.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPainter>

TLumLCD::TLumLCD()
{
    for (TLcdSegment &s : Segments)
        s.MaskFile = QStringLiteral("segs/blank.bmp");
}

QString TLumLCD::CachePath() const
{
    // Beside the masks when that folder is writable, else in the user's cache folder.
    const QString dir = AppPaths::WritableDir(AppPaths::UserFolder::Cache, ProgramDir);
    return QDir(dir).filePath(MapName + QStringLiteral(".kmp"));
}

QImage TLumLCD::MaskPicture(const TLcdSegment &e)
{
    if (UseImageList) {
        if (!ImageList || e.ImageIndex < 0 || e.ImageIndex >= ImageList->size())
            return QImage();
        return ImageList->at(e.ImageIndex);
    }
    const QString dir = ProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : ProgramDir;
    const QString path = QDir(dir).filePath(e.MaskFile);
    auto it = MaskCache.find(path);
    if (it == MaskCache.end())
        it = MaskCache.insert(path, QImage(path));
    return it.value();
}

bool TLumLCD::AddSegmentMask(int digit, int bit, TLumBitmap &map)
{
    const TLcdSegment &e = Segments[size_t(digit * LcdBitsPerDigit + bit)];
    QImage mask = MaskPicture(e);
    if (mask.isNull()) {
        Error = UseImageList
                    ? LangText("Messages", "MaskNotListed", "Segment mask %1 is missing from the image list.")
                          .arg(e.ImageIndex)
                    : LangText("Messages", "MaskMissing", "The segment mask %1 is missing or unreadable.")
                          .arg(e.MaskFile);
        return false;
    }
    // Paletted masks count by their palette index (index 0 is a segment pixel), others by grey.
    if (mask.format() == QImage::Format_Mono || mask.format() == QImage::Format_MonoLSB ||
        mask.format() == QImage::Format_Indexed8)
        mask = mask.convertToFormat(QImage::Format_Indexed8);
    else
        mask = mask.convertToFormat(QImage::Format_Grayscale8);
    StampMask(map, mask.constBits(), mask.width(), mask.height(), int(mask.bytesPerLine()), e.Row, e.Column,
              uint16_t(LcdSegmentNumber(digit, bit)));
    return true;
}

bool TLumLCD::MakePalette(int width, int height)
{
    Palette.clear();
    for (int i = 0; i < 256; ++i)
        Palette.append(qRgb(0, 0, 0));
    Palette[LumOffIndex] = OffColour.rgb();
    Palette[LumOnIndex] = OnColour.rgb();
    return BuildMap(width, height);
}

bool TLumLCD::BuildMap(int width, int height)
{
    if (Palette.isEmpty())
        return MakePalette(width, height);
    Error.clear();
    Built = false;
    RenderBitmap = QImage();
    ScaledMap.SetSize(0, 0);
    RowMap = TLumRowMap();
    if (width < 2 || height < 2)
        return true; // nothing to draw

    bool ok = true;
    TLumBitmap map;
    const QString cache = CachePath();
    if (KeptMap) {
        map = *KeptMap;
    } else if (QFile::exists(cache) && map.LoadFromFile(cache)) {
        ++CacheLoads;
    } else {
        // No cache, or a damaged one: compose from the masks and write the cache again.
        map.SetSize(MapWidth, MapHeight);
        map.Fill(LcdBackground);
        MaskCache.clear();
        for (int digit = 0; digit < LcdDigitCount && ok; ++digit)
            for (int bit = 0; bit < LcdBitsPerDigit && ok; ++bit)
                ok = AddSegmentMask(digit, bit, map);
        MaskCache.clear();
        if (ok) {
            ++MapsComposed;
            CacheError.clear();
            if (!map.SaveToFile(cache)) {
                CacheError = map.Error;
                KeptMap = std::make_unique<TLumBitmap>(map);
            } else {
                map.SaveAsPicture(cache.left(cache.size() - 4) + QStringLiteral(".bmp"));
            }
        } else {
            map.SetSize(1, 1); // an unlit glass until the masks are there
            map.Fill(LcdBackground);
        }
    }

    RenderBitmap = QImage(width, height, QImage::Format_Indexed8);
    RenderBitmap.setColorTable(Palette);
    ScaledMap.SetSize(width, height);
    ScaledMap.StretchFrom(map);
    RowMap.From(ScaledMap);
    Built = true;
    return ok;
}

bool TLumLCD::Prepare(int width, int height)
{
    bool ok = true;
    if (Palette.isEmpty() || !Built || RenderBitmap.width() != width || RenderBitmap.height() != height)
        ok = BuildMap(width, height);
    if (RenderBitmap.isNull())
        return false;
    // The colours may have been changed since the palette was made.
    RenderBitmap.setColor(LumOffIndex, OffColour.rgb());
    RenderBitmap.setColor(LumOnIndex, OnColour.rgb());
    FillLookUp(States, LookUp);
    return ok;
}

bool TLumLCD::Draw(int x, int y, QPainter &canvas, int height, int width)
{
    const bool ok = Prepare(width, height);
    if (RenderBitmap.isNull())
        return ok;
    RenderLookUp(RowMap, LookUp, RenderBitmap.bits(), int(RenderBitmap.bytesPerLine()));
    canvas.save();
    canvas.setCompositionMode(QPainter::CompositionMode_Source);
    canvas.drawImage(x, y, RenderBitmap);
    canvas.restore();
    return ok;
}

bool TLumLCD::Draw(int x, int y, QImage &canvas, int height, int width)
{
    const bool ok = Prepare(width, height);
    if (RenderBitmap.isNull())
        return ok;
    if (canvas.format() != QImage::Format_RGB32 && canvas.format() != QImage::Format_ARGB32 &&
        canvas.format() != QImage::Format_ARGB32_Premultiplied) {
        QPainter p(&canvas);
        return Draw(x, y, p, height, width) && ok;
    }
    // One pass straight from the map to the canvas's pixels: the lookup table and the palette
    // folded into one table of colours, so no 8-bit picture needs converting afterwards.
    std::array<QRgb, LcdBackground + 1> colours;
    for (size_t v = 0; v < colours.size(); ++v)
        colours[v] = 0xFF000000 | RenderBitmap.color(LookUp[v]);
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(canvas.width(), x + width), y1 = std::min(canvas.height(), y + height);
    for (int row = y0; row < y1; ++row) {
        const uint16_t *src = RowMap.Pixels.data() + size_t(row - y) * size_t(RowMap.Width) + (x0 - x);
        QRgb *dst = reinterpret_cast<QRgb *>(canvas.scanLine(row)) + x0;
        for (int col = x0; col < x1; ++col)
            *dst++ = colours[*src++];
    }
    return ok;
}
