#include "RadioDrawings.h"

namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kInk{38, 44, 52};
constexpr Rgb kDisplay{214, 233, 222};
constexpr Rgb kGrille{92, 100, 110};

struct Palette {
    Rgb body;
    Rgb accent;
};

Palette PaletteOf(Finish finish) {
    // X: steel body with a blue trim; G: sage body with an amber trim.
    return finish == Finish::kX ? Palette{{206, 213, 221}, {47, 109, 181}}
                                : Palette{{211, 220, 198}, {214, 137, 30}};
}

// The finish letter on a small round badge.
void Badge(Canvas& c, double cx, double cy, double radius, Finish finish, const Palette& p) {
    c.Circle(cx, cy, radius, p.accent, 0, p.accent);
    const double k = radius / 11;
    if (finish == Finish::kX) {
        c.Line(cx - 5 * k, cy - 5 * k, cx + 5 * k, cy + 5 * k, 2.6 * k, kWhite);
        c.Line(cx - 5 * k, cy + 5 * k, cx + 5 * k, cy - 5 * k, 2.6 * k, kWhite);
    } else {
        c.Arc(cx, cy, 5.5 * k, 20, 320, 2.6 * k, kWhite);
        c.Line(cx + k, cy, cx + 5.5 * k, cy, 2.6 * k, kWhite);
    }
}

}  // namespace

Canvas DrawPortableRadio(Finish finish) {
    const Palette p = PaletteOf(finish);
    Canvas c(kRadioPictureWidth, kRadioPictureHeight, kWhite);
    // Antenna and the two top knobs.
    c.Line(72, 18, 72, 72, 9, kInk);
    c.Circle(72, 16, 6, kInk, 0, kInk);
    c.RoundRect(104, 44, 20, 28, 4, p.body, 3, kInk);
    c.RoundRect(130, 52, 14, 20, 3, p.body, 3, kInk);
    // Side push-to-talk key, then the body over it.
    c.RoundRect(40, 108, 14, 44, 5, p.accent, 3, kInk);
    c.RoundRect(50, 68, 100, 160, 16, p.body, 3.5, kInk);
    // Display, keys and speaker grille.
    c.RoundRect(64, 84, 72, 32, 5, kDisplay, 2.5, kInk);
    c.Line(72, 95, 104, 95, 2, kGrille);
    c.Line(72, 104, 92, 104, 2, kGrille);
    for (int i = 0; i < 3; ++i)
        c.RoundRect(66 + i * 24, 124, 20, 10, 3, kWhite, 2, kInk);
    for (int y = 148; y <= 200; y += 8)
        c.Line(68, y, 132, y, 3, kGrille);
    c.Line(62, 214, 138, 214, 3, p.accent);
    Badge(c, 100, 214, 11, finish, p);
    return c;
}

Canvas DrawMobileRadio(Finish finish) {
    const Palette p = PaletteOf(finish);
    Canvas c(kRadioPictureWidth, kRadioPictureHeight, kWhite);
    // Mounting bracket behind the body.
    c.Line(22, 92, 10, 156, 5, kInk);
    c.Line(178, 92, 190, 156, 5, kInk);
    c.Line(10, 156, 30, 156, 5, kInk);
    c.Line(170, 156, 190, 156, 5, kInk);
    // Body and front panel.
    c.RoundRect(16, 70, 168, 96, 12, p.body, 3.5, kInk);
    c.RoundRect(26, 80, 148, 76, 7, kWhite, 2.5, kInk);
    // Display, knobs and keys.
    c.RoundRect(62, 88, 76, 26, 4, kDisplay, 2.5, kInk);
    c.Line(70, 98, 104, 98, 2, kGrille);
    c.Line(70, 106, 90, 106, 2, kGrille);
    c.Circle(44, 115, 11, p.body, 3, kInk);
    c.Line(44, 115, 44, 106, 2.5, kInk);
    c.Circle(156, 115, 11, p.body, 3, kInk);
    c.Line(156, 115, 163, 109, 2.5, kInk);
    for (int i = 0; i < 4; ++i)
        c.RoundRect(64 + i * 19, 121, 14, 9, 2.5, p.accent, 2, kInk);
    Badge(c, 100, 143, 8, finish, p);
    // Microphone on its coiled cord.
    for (int i = 0; i < 5; ++i)
        c.Arc(120 + i * 8, 180, 5, 180, 360, 2.5, kInk);
    c.Line(112, 166, 115, 180, 2.5, kInk);
    c.Line(157, 180, 160, 188, 2.5, kInk);
    c.RoundRect(146, 188, 28, 42, 10, p.body, 3, kInk);
    for (int y = 198; y <= 214; y += 6)
        c.Line(153, y, 167, y, 2.5, kGrille);
    c.RoundRect(142, 200, 6, 14, 2, p.accent, 1.5, kInk);
    return c;
}

Canvas DrawLogo() {
    Canvas c(kLogoSize, kLogoSize, kWhite);
    const Rgb blue{47, 109, 181};
    // A "Q" whose tail is a radio's antenna, with two waves leaving it.
    c.Arc(56, 66, 34, 0, 360, 11, kInk);
    c.Line(74, 86, 98, 110, 11, kInk);
    c.Arc(96, 34, 10, 0, 90, 5, blue);
    c.Arc(96, 34, 20, 0, 90, 5, blue);
    c.Circle(96, 34, 4, blue, 0, blue);
    return c;
}
