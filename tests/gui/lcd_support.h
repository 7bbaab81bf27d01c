// Shared by the front-panel widget tests: a program folder holding the shipped panel picture and
// masks, and the Vorn settings of an LCD.
#pragma once

#include "display/VornTables.h"
#include "display/ui/LumLCD.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

// A fresh folder with copies of the panel picture and the masks the build drew.
inline std::unique_ptr<QTemporaryDir> MakeProgramDir(bool withPicture = true)
{
    auto dir = std::make_unique<QTemporaryDir>();
    const QDir bin(QStringLiteral(BRELLIN_BIN_DIR));
    QDir(dir->path()).mkpath(QStringLiteral("segs"));
    const QDir segs(bin.filePath(QStringLiteral("segs")));
    for (const QString &name : segs.entryList({QStringLiteral("*.bmp")}, QDir::Files))
        QFile::copy(segs.filePath(name), dir->filePath(QStringLiteral("segs/") + name));
    if (withPicture)
        QFile::copy(bin.filePath(QStringLiteral("panel.jpg")), dir->filePath(QStringLiteral("panel.jpg")));
    return dir;
}

inline void ConfigureVorn(TLumLCD &lcd, const QString &programDir)
{
    lcd.OffColour = QColor(0xBD, 0xFF, 0x24);
    lcd.OnColour = Qt::black;
    lcd.MapWidth = VornMapWidth;
    lcd.MapHeight = VornMapHeight;
    lcd.MapName = QString::fromLatin1(VornMapName);
    lcd.Segments = VornLcdSegments();
    lcd.ProgramDir = programDir;
}
