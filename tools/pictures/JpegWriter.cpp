#include "JpegWriter.h"

#include <cstdio>

#include "common/JpegErrors.h"

bool WriteJpeg(const Canvas& canvas, const std::string& path, int quality, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot create " + path;
        return false;
    }
    jpeg_compress_struct info;
    JpegErrorManager manager;
    info.err = jpeg_std_error(&manager.base);
    manager.base.error_exit = JpegErrorExit;
    if (setjmp(manager.jump)) {
        error = path + ": " + manager.message;
        jpeg_destroy_compress(&info);
        std::fclose(file);
        std::remove(path.c_str());
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(canvas.Width());
    info.image_height = static_cast<JDIMENSION>(canvas.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(canvas.Width()) * 3;
    while (info.next_scanline < info.image_height) {
        // libjpeg takes non-const rows but only reads them.
        JSAMPROW row = const_cast<JSAMPLE*>(&canvas.Pixels()[info.next_scanline * rowBytes]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    if (std::fclose(file) != 0) {
        error = "cannot write " + path;
        std::remove(path.c_str());
        return false;
    }
    return true;
}
