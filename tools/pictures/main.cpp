// quenta-pictures: draws the window's radio pictures and the about box's logo and writes them
// as JPEG files into a folder (the build runs it; the window embeds the files).
//
//   quenta-pictures OUTDIR
#include <cstdio>
#include <string>

#include "JpegWriter.h"
#include "RadioDrawings.h"

namespace {
constexpr int kJpegQuality = 92;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: quenta-pictures OUTDIR\n", stderr);
        return 2;
    }
    const std::string dir = argv[1];
    struct Picture {
        const char* file;
        Canvas canvas;
    };
    const Picture pictures[] = {
        {"PortableX.jpg", DrawPortableRadio(Finish::kX)},
        {"PortableG.jpg", DrawPortableRadio(Finish::kG)},
        {"MobileX.jpg", DrawMobileRadio(Finish::kX)},
        {"MobileG.jpg", DrawMobileRadio(Finish::kG)},
        {"Logo.jpg", DrawLogo()},
    };
    for (const Picture& picture : pictures) {
        std::string error;
        if (!WriteJpeg(picture.canvas, dir + "/" + picture.file, kJpegQuality, error)) {
            std::fprintf(stderr, "quenta-pictures: %s\n", error.c_str());
            return 1;
        }
    }
    return 0;
}
