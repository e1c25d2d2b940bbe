// quenta-icons: renders the program's SVG icon as square PNG files (the build runs it for the
// icon theme's fixed sizes).
//
//   quenta-icons SVG SIZE OUT.png [SIZE OUT.png ...]
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kMinSize = 8;
constexpr int kMaxSize = 1024;

int Usage() {
    std::fputs("usage: quenta-icons SVG SIZE OUT.png [SIZE OUT.png ...]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || (argc - 2) % 2 != 0)
        return Usage();
    // No display is needed to paint into an image. The offscreen platform still wants a
    // runtime folder: without XDG_RUNTIME_DIR Qt would make $TMPDIR/runtime-$USER and leave it
    // behind, so a private one is made here and removed at the end.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QGuiApplication app(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "quenta-icons: %s is not a readable SVG file\n", argv[1]);
        return 1;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (*end != '\0' || size < kMinSize || size > kMaxSize)
            return Usage();
        QImage image(static_cast<int>(size), static_cast<int>(size),
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        if (!image.save(QString::fromLocal8Bit(argv[i + 1]), "PNG")) {
            std::fprintf(stderr, "quenta-icons: cannot write %s\n", argv[i + 1]);
            return 1;
        }
    }
    return 0;
}
