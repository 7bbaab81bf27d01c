// The Vorn front-panel mimic: constants, picture, glass and keys.
#include "VornLCD.h"

#include "PictureFile.h"
#include "display/VornTables.h"
#include "i18n/LumsLang.h"

#include <QCoreApplication>
#include <QDir>
#include <QPainter>

namespace
{

QColor Rgb(uint32_t rgb)
{
    return QColor(int((rgb >> 16) & 0xFF), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

} // namespace

TVornLCD::TVornLCD(QWidget *parent, const QString &programDir) : TLumMimic(parent)
{
    LCDLeft = VornLCDLeft;
    LCDTop = VornLCDTop;
    LCDWidth = VornLCDWidth;
    LCDHeight = VornLCDHeight;
    LCD->OffColour = Rgb(VornOffColour);
    LCD->OnColour = Rgb(VornOnColour);
    LCD->MapWidth = VornMapWidth;
    LCD->MapHeight = VornMapHeight;
    LCD->UseImageList = false;
    LCD->MapName = QString::fromLatin1(VornMapName);
    LCD->Segments = VornLcdSegments();
    LCD->ProgramDir = programDir;
    for (int i = 0; i < VornKeyCount; ++i)
        Buttons->Keys[size_t(i)] = VornKeys()[size_t(i)].Rect;
    Buttons->KeyCount = VornKeyCount;
    Buttons->Attach(this, &Canvas);
    setMinimumSize(64, 32);
}

QString TVornLCD::ProgramDir() const
{
    return LCD->ProgramDir.isEmpty() ? QCoreApplication::applicationDirPath() : LCD->ProgramDir;
}

void TVornLCD::SetPictureFile(const QString &path)
{
    PictureFile = path;
    LoadedPicture.clear();
    Picture = QImage();
    // A hidden mimic is drawn when it is first shown.
    if (isVisible())
        Paint();
    update();
}

void TVornLCD::Paint()
{
    Canvas = QImage(size(), QImage::Format_RGB32);
    const QString path = QDir(ProgramDir()).filePath(PictureFile);
    if (LoadedPicture != path) {
        QString error;
        Picture = PictureFile.isEmpty() ? QImage() : LoadPictureFile(path, &error);
        LoadedPicture = path;
        if (Picture.isNull() && !PictureFile.isEmpty())
            ReportFailure(
                LangText("Messages", "PictureUnshown", "The front-panel picture cannot be shown: %1")
                    .arg(error));
    }
    if (Picture.isNull()) {
        Canvas.fill(QColor(60, 64, 70));
    } else {
        QPainter p(&Canvas);
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.drawImage(Canvas.rect(), Picture);
    }
    if (!Plate.isEmpty()) {
        // In the picture's own pixels, scaled with it.
        QPainter p(&Canvas);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.scale(double(width()) / VornPanelWidth, double(height()) / VornPanelHeight);
        QFont font;
        font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
        font.setBold(true);
        font.setPixelSize(VornPlatePixelSize);
        p.setFont(font);
        p.setPen(QColor(170, 176, 186));
        p.drawText(QRectF(VornPlateLeft, VornPlateTop, VornPlateWidth, VornPlateHeight), Qt::AlignCenter,
                   Plate);
    }
    DrawLCD();
    Buttons->Restamp();
}

void TVornLCD::DrawLCD()
{
    if (Canvas.size() != size()) {
        // The whole panel at the new size, the LCD with it; a hidden one when it is shown.
        if (isVisible())
            Paint();
        else
            update();
        return;
    }
    const QRect r = LCDRect();
    if (!LCD->Draw(r.x(), r.y(), Canvas, r.height(), r.width()))
        ReportFailure(LCD->Error);
    update(r);
}

void TVornLCD::SetPlateText(const QString &text)
{
    if (text == Plate)
        return;
    Plate = text;
    if (isVisible())
        Paint();
    update();
}

void TVornLCD::Blank()
{
    for (auto &digit : LCD->States)
        digit.fill(0);
    DrawLCD();
}
