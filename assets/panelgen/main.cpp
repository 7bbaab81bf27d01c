// Build-time generator of the front-panel picture (panel.jpg) and the segment masks (segs/*.bmp)
// that ship beside the program. Usage: panelgen <program folder> [--preview <png>]
// (the preview shows every segment lit at 1:1 on the map, to check the masks by eye).
#include "glass.h"

#include "display/VornTables.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <jpeglib.h>

namespace
{

QString PickFont()
{
    const QStringList families = QFontDatabase::families();
    for (const char *f : {"Liberation Sans", "Arial", "DejaVu Sans"})
        if (families.contains(QString::fromLatin1(f)))
            return QString::fromLatin1(f);
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

bool WriteJpeg(const QImage &image, const QString &path, int quality)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

QRectF PerMille(int left, int top, int right, int bottom)
{
    const double sx = VornPanelWidth / 1000.0, sy = VornPanelHeight / 1000.0;
    return QRectF(QPointF(left * sx, top * sy), QPointF(right * sx, bottom * sy));
}

void DrawLegend(QPainter &p, const QRectF &r, const QString &text, const QString &family, double size,
                QColor colour)
{
    QFont font(family);
    font.setBold(true);
    font.setPixelSize(int(size));
    p.setFont(font);
    p.setPen(colour);
    p.drawText(r, Qt::AlignCenter, text);
}

// A key cap: raised rounded body with a light top edge and a darker bottom edge.
void DrawKey(QPainter &p, const QRectF &r, QColor body, double radius)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 22, 26));
    p.drawRoundedRect(r.adjusted(-4, -3, 4, 6), radius + 4, radius + 4);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, body.lighter(135));
    g.setColorAt(0.15, body);
    g.setColorAt(1, body.darker(135));
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
}

QImage DrawPanel(const QString &family)
{
    QImage img(VornPanelWidth, VornPanelHeight, QImage::Format_RGB32);
    img.fill(QColor(54, 58, 64));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);

    // The case: a moulded front with a soft top light.
    const QRectF body(8, 8, VornPanelWidth - 16, VornPanelHeight - 16);
    QLinearGradient shade(body.topLeft(), body.bottomLeft());
    shade.setColorAt(0, QColor(92, 98, 106));
    shade.setColorAt(0.5, QColor(70, 75, 82));
    shade.setColorAt(1, QColor(52, 56, 62));
    p.setPen(QPen(QColor(30, 32, 36), 6));
    p.setBrush(shade);
    p.drawRoundedRect(body, 40, 40);
    // Fixing screws in the corners.
    for (QPointF c : {QPointF(48, 48), QPointF(VornPanelWidth - 48, 48), QPointF(48, VornPanelHeight - 48),
                      QPointF(VornPanelWidth - 48, VornPanelHeight - 48)}) {
        p.setPen(QPen(QColor(35, 37, 40), 3));
        p.setBrush(QColor(150, 154, 160));
        p.drawEllipse(c, 14, 14);
        p.drawLine(c + QPointF(-9, 0), c + QPointF(9, 0));
    }

    // The window around the glass, and the glass itself exactly where the mimic draws it.
    const QRectF glass =
        PerMille(VornLCDLeft, VornLCDTop, VornLCDLeft + VornLCDWidth, VornLCDTop + VornLCDHeight);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(24, 26, 30));
    p.drawRoundedRect(glass.adjusted(-44, -44, 44, 44), 22, 22);
    p.setBrush(QColor(10, 11, 13));
    p.drawRoundedRect(glass.adjusted(-16, -16, 16, 16), 8, 8);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setBrush(QColor((VornOffColour >> 16) & 0xFF, (VornOffColour >> 8) & 0xFF, VornOffColour & 0xFF));
    p.drawRect(glass.toRect());
    p.setRenderHint(QPainter::Antialiasing, true);

    // Captions: the name above the glass, the keypad's caption. The data plate below the name is
    // left empty: the program writes the connected instrument's capacity there.
    DrawLegend(p, QRectF(glass.left(), glass.top() - 150, glass.width(), 60),
               QStringLiteral("WEIGHING INDICATOR"), family, 40, QColor(215, 220, 228));

    // The keys at their table rectangles: function keys under the glass, the keypad on the right.
    const auto &keys = VornKeys();
    for (int i = 0; i < VornKeyCount; ++i) {
        const TVornKey &k = keys[i];
        const QRectF r = PerMille(k.Rect.Left, k.Rect.Top, k.Rect.Right, k.Rect.Bottom);
        const QString legend = QString::fromLatin1(k.Legend);
        if (i == 0) {
            // The power key: round, red, marked with its symbol.
            DrawKey(p, r, QColor(170, 40, 36), r.width() / 2);
            DrawLegend(p, r, legend, family, 20, Qt::white);
        } else if (i <= 6) {
            DrawKey(p, r, QColor(44, 92, 150), 18);
            DrawLegend(p, r, legend, family, legend.size() > 3 ? 28 : 34, Qt::white);
        } else {
            const bool digit = legend.size() == 1 && legend[0].isDigit();
            DrawKey(p, r, digit ? QColor(205, 208, 212) : QColor(120, 126, 134), 12);
            DrawLegend(p, r, legend, family,
                       digit ? 52
                             : (legend.size() > 3   ? 19
                                : legend.size() > 2 ? 24
                                                    : 34),
                       digit ? QColor(20, 22, 26) : Qt::white);
        }
    }
    const QRectF pad = PerMille(755, 220, 953, 620);
    DrawLegend(p, QRectF(pad.left(), pad.top() - 110, pad.width(), 60), QStringLiteral("ENTRY"), family, 30,
               QColor(200, 206, 214));
    return img;
}

// Every mask stamped black at its table position on a white map.
QImage Preview(const std::map<QByteArray, QImage> &masks)
{
    QImage map(VornMapWidth, VornMapHeight, QImage::Format_RGB32);
    map.fill(QColor(0xBD, 0xFF, 0x24));
    QPainter p(&map);
    for (const TVornSegment &s : VornSegmentTable()) {
        QImage m = masks.at(s.Mask).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < m.height(); ++y)
            for (int x = 0; x < m.width(); ++x)
                m.setPixel(x, y, qGray(m.pixel(x, y)) < 128 ? qRgb(0, 0, 0) : qRgba(0, 0, 0, 0));
        p.drawImage(s.Column, s.Row, m);
    }
    return map;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: panelgen <program folder>\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("segs"))) {
        std::fprintf(stderr, "panelgen: cannot create %s/segs\n", argv[1]);
        return 1;
    }
    const QString family = PickFont();
    const auto masks = DrawGlassMasks(family);
    if (argc >= 4 && QByteArray(argv[2]) == "--preview")
        Preview(masks).save(QString::fromLocal8Bit(argv[3]));
    for (const auto &[name, drawing] : masks) {
        const QString path =
            out.filePath(QStringLiteral("segs/") + QString::fromLatin1(name) + QStringLiteral(".bmp"));
        if (!MaskFromDrawing(drawing).save(path, "BMP")) {
            std::fprintf(stderr, "panelgen: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const QString panel = out.filePath(QStringLiteral("panel.jpg"));
    if (!WriteJpeg(DrawPanel(family), panel, 92)) {
        std::fprintf(stderr, "panelgen: cannot write %s\n", qPrintable(panel));
        return 1;
    }
    // The segment-map cache was composed from the old masks: the next draw rebuilds it.
    QFile::remove(out.filePath(QString::fromLatin1(VornMapName) + QStringLiteral(".kmp")));
    QFile::remove(out.filePath(QString::fromLatin1(VornMapName) + QStringLiteral(".bmp")));
    return 0;
}
