#pragma once

#include "Canvas.h"

// The window's pictures: a portable and a mobile radio in the two finishes, and the about box's
// logo. Plain line drawings on white, in the sizes the window shows them at twice their size.
enum class Finish { kX, kG };

constexpr int kRadioPictureWidth = 200;
constexpr int kRadioPictureHeight = 240;
constexpr int kLogoSize = 128;

Canvas DrawPortableRadio(Finish finish);
Canvas DrawMobileRadio(Finish finish);
Canvas DrawLogo();
