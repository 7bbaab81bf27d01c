// The glass's segment masks: slanted seven-segment characters (with the decimal point and the two
// middle verticals) built from the mask positions of the segment table, and the single symbols.
#include "glass.h"

#include "display/VornTables.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>
#include <functional>

namespace
{

// Italic lean of the characters: columns move left this much per row downwards.
constexpr double Slant = 0.08;

QImage WhiteCanvas(int w, int h)
{
    QImage img(std::max(1, w), std::max(1, h), QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

void FillBlack(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
}

// A shape given in map coordinates, drawn into a mask whose top-left corner is origin.
QImage ShapeMask(const QPointF &origin, const std::function<void(QPainter &)> &draw, const QRectF &bounds)
{
    const int w = int(std::ceil(bounds.right() - origin.x())) + 1;
    const int h = int(std::ceil(bounds.bottom() - origin.y())) + 1;
    QImage img = WhiteCanvas(w, h);
    QPainter p(&img);
    FillBlack(p);
    p.translate(-origin);
    draw(p);
    return img;
}

QImage PolygonMask(const QPointF &origin, const QPolygonF &poly)
{
    return ShapeMask(
        origin, [&](QPainter &p) { p.drawPolygon(poly); }, poly.boundingRect());
}

// A vertical segment with pointed ends whose centre runs from (topX, top) to (bottomX, bottom).
QPolygonF Vertical(double topX, double top, double bottomX, double bottom, double t)
{
    const double r = t / 2;
    return QPolygonF({{topX, top},
                      {topX + r, top + r},
                      {bottomX + r, bottom - r},
                      {bottomX, bottom},
                      {bottomX - r, bottom - r},
                      {topX - r, top + r}});
}

// A horizontal segment with pointed ends from left to right at row cy.
QPolygonF Horizontal(double left, double right, double cy, double t)
{
    const double r = t / 2;
    return QPolygonF({{left, cy},
                      {left + r, cy - r},
                      {right - r, cy - r},
                      {right, cy},
                      {right - r, cy + r},
                      {left + r, cy + r}});
}

// A thin upright-leaning bar (the middle verticals) from (topX, top) to (bottomX, bottom).
QPolygonF Bar(double topX, double top, double bottomX, double bottom, double w)
{
    const double r = w / 2;
    return QPolygonF({{topX - r, top}, {topX + r, top}, {bottomX + r, bottom}, {bottomX - r, bottom}});
}

// The masks of one character from the top-left corners of its masks (map coordinates, letters
// a..j, missing letters absent), with segment thickness t.
std::map<char, QImage> CharacterMasks(const std::map<char, QPointF> &at, double t)
{
    std::map<char, QImage> masks;
    const double gap = std::max(1.0, t / 8);
    const QPointF a = at.at('a'), b = at.at('b'), c = at.at('c'), d = at.at('d'), e = at.at('e'),
                  f = at.at('f'), g = at.at('g');
    const double gMid = g.y() + t / 2, dMid = d.y() + t / 2, aMid = a.y() + t / 2;

    // A vertical's lowest point lies on its mask's left edge plus half the thickness.
    struct TVert {
        double topX, top, bottomX, bottom;
        double XAt(double y) const { return bottomX + Slant * (bottom - y); }
    };
    auto vert = [&](const QPointF &o, double bottom) {
        const double bx = o.x() + t / 2;
        return TVert{bx + Slant * (bottom - o.y()), o.y(), bx, bottom};
    };
    const TVert vf = vert(f, gMid - gap), vb = vert(b, gMid - gap), ve = vert(e, dMid - gap),
                vc = vert(c, dMid - gap);
    for (auto [letter, v] : {std::pair{'b', vb}, {'c', vc}, {'e', ve}, {'f', vf}})
        masks[letter] = PolygonMask(at.at(letter), Vertical(v.topX, v.top, v.bottomX, v.bottom, t));
    masks['a'] = PolygonMask(a, Horizontal(a.x(), vb.XAt(aMid), aMid, t));
    masks['g'] = PolygonMask(g, Horizontal(g.x(), vb.XAt(gMid), gMid, t));
    masks['d'] = PolygonMask(d, Horizontal(d.x(), vc.XAt(dMid), dMid, t));

    const double w = std::max(2.0, t * 0.7);
    auto bar = [&](const QPointF &o, double bottom) {
        const double bx = o.x() + w / 2;
        return PolygonMask(o, Bar(bx + Slant * (bottom - o.y()), o.y(), bx, bottom, w));
    };
    if (at.count('i'))
        masks['i'] = bar(at.at('i'), g.y() - gap);
    if (at.count('j'))
        masks['j'] = bar(at.at('j'), d.y() - gap);
    if (at.count('h')) {
        const QPointF h = at.at('h');
        const QRectF dot(h, QSizeF(t, t));
        masks['h'] = ShapeMask(
            h, [&](QPainter &p) { p.drawEllipse(dot); }, dot);
    }
    return masks;
}

QPointF Origin(int entry)
{
    const TVornSegment &s = VornSegmentTable()[entry];
    return QPointF(s.Column, s.Row);
}

QPointF OriginOf(const char *mask)
{
    return Origin(VornEntryOfMask(mask));
}

// Text fitted into a box of w x h map pixels, without smoothing so that every pixel is on or off.
QImage TextMask(const QString &text, int w, int h, const QString &family)
{
    QImage img = WhiteCanvas(w, h);
    QFont font(family);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    QRect tight;
    for (int px = h * 2; px >= 4; --px) {
        font.setPixelSize(px);
        tight = QFontMetrics(font).tightBoundingRect(text);
        if (tight.width() <= w - 1 && tight.height() <= h - 1)
            break;
    }
    QPainter p(&img);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPointF(-tight.left() + (w - 1 - tight.width()) / 2, -tight.top()), text);
    return img;
}

QImage Drawn(int w, int h, const std::function<void(QPainter &)> &draw)
{
    QImage img = WhiteCanvas(w, h);
    QPainter p(&img);
    FillBlack(p);
    draw(p);
    return img;
}

// A ring (outline) of thickness t inside a w x h box.
QImage Ring(int w, int h, int t)
{
    return Drawn(w, h, [&](QPainter &p) {
        QPainterPath path;
        path.addEllipse(QRectF(0, 0, w - 1, h - 1));
        path.addEllipse(QRectF(t, t, w - 1 - 2 * t, h - 1 - 2 * t));
        p.drawPath(path);
    });
}

QImage Frame(int w, int h, int t)
{
    return Drawn(w, h, [&](QPainter &p) {
        QPainterPath path;
        path.addRect(QRectF(0, 0, w, h));
        path.addRect(QRectF(t, t, w - 2 * t, h - 2 * t));
        p.drawPath(path);
    });
}

} // namespace

QImage MaskFromDrawing(const QImage &drawing)
{
    QImage mask(drawing.size(), QImage::Format_Indexed8);
    QList<QRgb> grey;
    for (int i = 0; i < 256; ++i)
        grey.append(qRgb(i, i, i));
    mask.setColorTable(grey);
    const QImage rgb = drawing.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb *src = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        uchar *dst = mask.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x)
            dst[x] = qGray(src[x]) < 128 ? 0 : 255;
    }
    return mask;
}

std::map<QByteArray, QImage> DrawGlassMasks(const QString &fontFamily)
{
    std::map<QByteArray, QImage> out;
    out["blank"] = WhiteCanvas(1, 1);

    // The four character groups: every character of a group shares the group's masks, placed
    // by the table at the same offsets, so the first character's positions shape them all.
    const std::pair<TVornCharGroup, double> groups[] = {
        {VornLarge, 30}, {VornMedium, 19}, {VornSmall, 8}, {VornTop, 8}};
    for (auto [group, thickness] : groups) {
        std::map<char, QPointF> at;
        for (const TVornCharacter &c : VornCharacters(group))
            for (int letter = 0; letter < 10; ++letter)
                if (c.Entries[letter] >= 0 && !at.count(char('a' + letter)))
                    at[char('a' + letter)] = Origin(c.Entries[letter]);
        for (auto &[letter, img] : CharacterMasks(at, thickness))
            out[QByteArray(1, char(group)) + '_' + letter] = img;
    }
    // The colon between the hours and minutes of the top group.
    out["d2h"] = Drawn(9, 9, [](QPainter &p) { p.drawRect(0, 0, 8, 8); });

    // A small seven-segment digit at the top left (e3..e9), the range in use.
    const std::map<char, QPointF> tiny{{'a', OriginOf("e3")}, {'b', OriginOf("e4")}, {'c', OriginOf("e5")},
                                       {'d', OriginOf("e6")}, {'e', OriginOf("e7")}, {'f', OriginOf("e8")},
                                       {'g', OriginOf("e9")}};
    const std::map<char, const char *> tinyNames{{'a', "e3"}, {'b', "e4"}, {'c', "e5"}, {'d', "e6"},
                                                 {'e', "e7"}, {'f', "e8"}, {'g', "e9"}};
    for (auto &[letter, img] : CharacterMasks(tiny, 4))
        out[tinyNames.at(letter)] = img;

    // Annunciators down the left edge and above the tiny digit.
    struct TLabel {
        const char *mask;
        const char *text;
        int w, h;
    };
    const TLabel labels[] = {
        {"e1", "HOLD", 48, 18},
        {"e2", "PEAK", 40, 18},
        {"e10", "R1", 40, 22},
        {"e11", "R2", 26, 22},
        {"e13", "LO", 18, 16},
        {"e12", "HI", 18, 16},
        {"e14", ">0<", 120, 40},
        {"e15", "NET", 120, 48},
        {"e16", "GROSS", 140, 48},
        {"e17", "MOTION", 140, 44},
        {"e18", "PT", 80, 40},
        // Units and rates to the right of the large characters.
        {"f1", "t", 26, 40},
        {"f2", "g", 40, 40},
        {"f3", "kg", 66, 60},
        {"f4", "lb", 30, 40},
        {"f5", "oz", 50, 40},
        {"f6", "N", 36, 50},
        {"f7", "%", 26, 36},
        {"f8", "pcs", 70, 36},
        {"f9", "/s", 60, 36},
        {"f10", "/min", 80, 36},
        {"f11", "/h", 60, 36},
        // Status symbols at the bottom right.
        {"g1", "SP", 60, 28},
        {"g4", "1", 18, 28},
        {"g5", "2", 18, 28},
        {"g2", "IN", 30, 22},
        {"g10", "ACC", 70, 36},
        {"g12", "BAT", 100, 30},
        {"g15", "PRINT", 140, 36},
        {"g20", "COM", 70, 26},
        {"g8", "OK", 40, 30},
    };
    for (const TLabel &l : labels)
        out[l.mask] = TextMask(QString::fromLatin1(l.text), l.w, l.h, fontFamily);

    out["g3"] = Drawn(38, 56, [](QPainter &p) { p.drawPolygon(QPolygonF({{19, 0}, {37, 55}, {0, 55}})); });
    out["g6"] = Drawn(38, 56, [](QPainter &p) { p.drawPolygon(QPolygonF({{0, 0}, {37, 0}, {19, 55}})); });
    out["g7"] = Drawn(14, 30, [](QPainter &p) { p.drawPolygon(QPolygonF({{13, 0}, {13, 29}, {0, 15}})); });
    out["g11"] = Ring(44, 44, 6);                                                          // a ring ...
    out["g9"] = Drawn(44, 44, [](QPainter &p) { p.drawEllipse(QRectF(13, 13, 17, 17)); }); // ... its centre
    out["g13"] = Frame(80, 44, 5);                                                         // battery body
    out["g14"] = Drawn(22, 44, [](QPainter &p) { p.drawRect(QRectF(8, 12, 14, 20)); });    // and terminal
    out["g18"] = Ring(50, 50, 5);                                                          // a clock face ...
    out["g16"] = Drawn(50, 50, [](QPainter &p) {                                           // ... its hands
        p.drawRect(QRectF(23, 10, 4, 16));
        p.drawRect(QRectF(23, 23, 15, 4));
    });
    out["g17"] = Drawn(14, 8, [](QPainter &p) { p.drawRect(QRectF(0, 0, 14, 8)); });
    out["g19"] = Drawn(6, 18, [](QPainter &p) { p.drawRect(QRectF(0, 0, 6, 18)); });
    out["g21"] = Drawn(6, 6, [](QPainter &p) { p.drawRect(QRectF(0, 0, 6, 6)); });
    // A four-step level bar, shortest at the top.
    const std::pair<const char *, int> bars[] = {{"g22", 12}, {"g23", 20}, {"g24", 28}, {"g25", 36}};
    for (auto [mask, width] : bars)
        out[mask] =
            Drawn(36, 26, [width = width](QPainter &p) { p.drawRect(QRectF(36 - width, 0, width, 26)); });
    return out;
}
