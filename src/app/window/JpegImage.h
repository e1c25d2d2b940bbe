#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes a JPEG held in memory with libjpeg into an RGB image; a null image when the bytes are
// not a JPEG or are damaged (libjpeg's message goes to error when given).
QImage DecodeJpeg(const QByteArray& bytes, QString* error = nullptr);

// Reads a file or Qt resource and decodes it as above.
QImage LoadJpeg(const QString& path, QString* error = nullptr);
