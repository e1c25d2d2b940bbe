#pragma once

#include <string>

#include "Canvas.h"

// Writes the canvas as a baseline JPEG file through libjpeg; false with a reason on failure.
bool WriteJpeg(const Canvas& canvas, const std::string& path, int quality, std::string& error);
