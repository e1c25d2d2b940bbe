#include "app/window/JpegImage.h"

#include <QFile>
#include <cstdio>

#include "common/JpegErrors.h"

namespace {

// Warnings (a corrupt but readable stream) are not worth a message.
void OnMessage(j_common_ptr) {}

// Larger pictures are not ours: refuse them rather than allocate without bound.
constexpr JDIMENSION kMaxSide = 4096;

}  // namespace

QImage DecodeJpeg(const QByteArray& bytes, QString* error) {
    QImage image;
    if (bytes.isEmpty()) {
        if (error)
            *error = QStringLiteral("no data");
        return image;
    }
    jpeg_decompress_struct info;
    JpegErrorManager manager;
    info.err = jpeg_std_error(&manager.base);
    manager.base.error_exit = JpegErrorExit;
    manager.base.output_message = OnMessage;
    // The image is declared above: nothing with a destructor is made between here and a jump.
    if (setjmp(manager.jump)) {
        jpeg_destroy_decompress(&info);
        if (error)
            *error = QString::fromLocal8Bit(manager.message);
        return QImage();
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (info.image_width > kMaxSide || info.image_height > kMaxSide) {
        jpeg_destroy_decompress(&info);
        if (error)
            *error = QStringLiteral("picture too large");
        return QImage();
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                   QImage::Format_RGB888);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return image;
}

QImage LoadJpeg(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + QStringLiteral(": ") + file.errorString();
        return QImage();
    }
    return DecodeJpeg(file.readAll(), error);
}
