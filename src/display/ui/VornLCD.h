// The Vorn instrument's front-panel mimic: the panel picture, the glass at its place with the
// instrument's colours and segment table, and the 23 keys.
#pragma once

#include "LumMimic.h"

class TVornLCD : public TLumMimic
{
    Q_OBJECT
public:
    // programDir: where the picture's relative path, the masks and the map cache are looked up
    // (the program's folder when empty).
    explicit TVornLCD(QWidget *parent = nullptr, const QString &programDir = QString());

    // Loads the picture file (a relative path is taken from the program's folder) and redraws.
    void SetPictureFile(const QString &path);
    void Paint() override;
    void DrawLCD() override;
    // Every segment unlit, drawn at once.
    void Blank();
    // The data plate above the glass ("Max 3000 kg   e = 0.01 kg"); empty shows none.
    void SetPlateText(const QString &text);
    QString PlateText() const { return Plate; }

private:
    QString ProgramDir() const;
    QImage Picture;
    QString LoadedPicture;
    QString Plate;
};
