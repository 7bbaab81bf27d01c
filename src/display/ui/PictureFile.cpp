// Front-panel picture decoding with libjpeg called directly (errors caught, never fatal).
#include "PictureFile.h"

#include "i18n/LumsLang.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace
{

struct TJpegError {
    jpeg_error_mgr Base;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<TJpegError *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->Message);
    std::longjmp(err->Jump, 1);
}

void JpegQuiet(j_common_ptr, int) {}

bool IsJpeg(const QByteArray &bytes)
{
    return bytes.size() >= 3 && uchar(bytes[0]) == 0xFF && uchar(bytes[1]) == 0xD8 && uchar(bytes[2]) == 0xFF;
}

// The decode itself. Only trivially destructible locals live here, so the jump back from the
// error handler skips no destructor; the picture is written into the caller's image.
bool RunDecode(jpeg_decompress_struct &cinfo, TJpegError &jerr, const QByteArray &bytes, QImage &out)
{
    if (setjmp(jerr.Jump))
        return false;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out = QImage(int(cinfo.output_width), int(cinfo.output_height), QImage::Format_RGB888);
    if (out.isNull()) {
        std::snprintf(jerr.Message, sizeof jerr.Message, "picture too large");
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.scanLine(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray &bytes, QString *error)
{
    jpeg_decompress_struct cinfo;
    TJpegError jerr;
    cinfo.err = jpeg_std_error(&jerr.Base);
    jerr.Base.error_exit = JpegErrorExit;
    jerr.Base.emit_message = JpegQuiet; // warnings of a slightly damaged file are not errors
    jerr.Message[0] = 0;
    jpeg_create_decompress(&cinfo);
    QImage out;
    const bool ok = RunDecode(cinfo, jerr, bytes, out);
    jpeg_destroy_decompress(&cinfo);
    if (!ok) {
        if (error)
            *error = LangText("Messages", "NotJpeg", "not a readable JPEG picture: %1")
                         .arg(QString::fromLocal8Bit(jerr.Message));
        return QImage();
    }
    return out.convertToFormat(QImage::Format_RGB32);
}

QImage LoadPictureFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return QImage();
    }
    const QByteArray bytes = file.readAll();
    QString why;
    QImage img = IsJpeg(bytes) ? DecodeJpeg(bytes, &why) : QImage::fromData(bytes);
    if (img.isNull() && error)
        *error =
            LangText("Messages", "NotPicture", "%1 is not a picture: %2")
                .arg(path, why.isEmpty() ? LangText("Messages", "UnknownFormat", "unknown format") : why);
    return img;
}
