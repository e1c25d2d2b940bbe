#include "app/window/RadioPictures.h"

#include "app/window/JpegImage.h"

RadioPicture PictureFor(std::uint8_t family, std::int8_t series) {
    if (family == 1)
        return series == 6 ? RadioPicture::kMobileG : RadioPicture::kMobileX;
    return series == 6 ? RadioPicture::kPortableG : RadioPicture::kPortableX;
}

QImage LoadRadioPicture(RadioPicture picture) {
    switch (picture) {
        case RadioPicture::kPortableX:
            return LoadJpeg(QStringLiteral(":/pictures/PortableX.jpg"));
        case RadioPicture::kPortableG:
            return LoadJpeg(QStringLiteral(":/pictures/PortableG.jpg"));
        case RadioPicture::kMobileX:
            return LoadJpeg(QStringLiteral(":/pictures/MobileX.jpg"));
        case RadioPicture::kMobileG:
            return LoadJpeg(QStringLiteral(":/pictures/MobileG.jpg"));
    }
    return QImage();
}

QImage LoadLogo() {
    return LoadJpeg(QStringLiteral(":/pictures/Logo.jpg"));
}
