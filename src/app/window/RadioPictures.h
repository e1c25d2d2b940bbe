#pragma once

#include <QImage>
#include <cstdint>

// The four radio pictures of the "Intended Target Radio" group and the about box's logo,
// embedded as JPEG resources and decoded through libjpeg.
enum class RadioPicture { kPortableX, kPortableG, kMobileX, kMobileG };

// The picture a package's family and series select: family 1 is the mobile radio, any other
// family the portable; series 6 is the G finish, any other the X finish.
RadioPicture PictureFor(std::uint8_t family, std::int8_t series);

QImage LoadRadioPicture(RadioPicture picture);
QImage LoadLogo();
