// The drawing of the glass: one shape per segment mask, in map pixels relative to the mask's
// top-left corner (its position in the segment table), for the panel generator.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <map>

// A mask picture as it ships: 8 bits per pixel, grey palette, segment pixels 0, others 255.
QImage MaskFromDrawing(const QImage &drawing);

// Every mask the segment table names, keyed by mask name, drawn black on white at the size the
// shape needs ("blank" is a single white pixel).
std::map<QByteArray, QImage> DrawGlassMasks(const QString &fontFamily);
