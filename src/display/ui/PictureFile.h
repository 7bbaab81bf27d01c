// Reading the front-panel picture: JPEG through libjpeg, other formats through Qt's readers.
#pragma once

#include <QImage>
#include <QString>

// The picture at path, or a null image with error set ("... is not a picture: ...").
// A damaged JPEG gives an error, never a crash or an exit.
QImage LoadPictureFile(const QString &path, QString *error = nullptr);
// The same for JPEG bytes in memory.
QImage DecodeJpeg(const QByteArray &bytes, QString *error = nullptr);
