#include "Canvas.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Coverage of a pixel whose centre lies at signed distance d from an edge (negative inside).
double EdgeCoverage(double d) {
    return std::clamp(0.5 - d, 0.0, 1.0);
}

double SegmentDistance(double px, double py, double x0, double y0, double x1, double y1) {
    const double dx = x1 - x0, dy = y1 - y0;
    const double lengthSquared = dx * dx + dy * dy;
    double t = lengthSquared > 0 ? ((px - x0) * dx + (py - y0) * dy) / lengthSquared : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

// Signed distance to a rounded rectangle (negative inside).
double RoundRectDistance(double px, double py, double x, double y, double w, double h,
                         double radius) {
    const double cx = x + w / 2, cy = y + h / 2;
    const double qx = std::abs(px - cx) - (w / 2 - radius);
    const double qy = std::abs(py - cy) - (h / 2 - radius);
    const double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

}  // namespace

Canvas::Canvas(int width, int height, Rgb background)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * height * 3) {
    for (std::size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = background.r;
        pixels_[i + 1] = background.g;
        pixels_[i + 2] = background.b;
    }
}

void Canvas::Blend(int x, int y, Rgb colour, double alpha) {
    if (alpha <= 0)
        return;
    std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 3];
    const auto mix = [alpha](std::uint8_t under, std::uint8_t over) {
        return static_cast<std::uint8_t>(std::lround(under + (over - under) * alpha));
    };
    p[0] = mix(p[0], colour.r);
    p[1] = mix(p[1], colour.g);
    p[2] = mix(p[2], colour.b);
}

template <typename Coverage>
void Canvas::Paint(double x0, double y0, double x1, double y1, Rgb colour, Coverage coverage) {
    const int left = std::max(0, static_cast<int>(std::floor(x0)) - 2);
    const int top = std::max(0, static_cast<int>(std::floor(y0)) - 2);
    const int right = std::min(width_ - 1, static_cast<int>(std::ceil(x1)) + 2);
    const int bottom = std::min(height_ - 1, static_cast<int>(std::ceil(y1)) + 2);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            Blend(x, y, colour, coverage(x + 0.5, y + 0.5));
}

void Canvas::Line(double x0, double y0, double x1, double y1, double width, Rgb colour) {
    const double half = width / 2;
    Paint(std::min(x0, x1) - half, std::min(y0, y1) - half, std::max(x0, x1) + half,
          std::max(y0, y1) + half, colour, [=](double px, double py) {
              return EdgeCoverage(SegmentDistance(px, py, x0, y0, x1, y1) - half);
          });
}

void Canvas::RoundRect(double x, double y, double w, double h, double radius, Rgb fill,
                       double lineWidth, Rgb line) {
    Paint(x, y, x + w, y + h, fill, [=](double px, double py) {
        return EdgeCoverage(RoundRectDistance(px, py, x, y, w, h, radius));
    });
    if (lineWidth > 0)
        RoundRectOutline(x, y, w, h, radius, lineWidth, line);
}

void Canvas::RoundRectOutline(double x, double y, double w, double h, double radius,
                              double lineWidth, Rgb line) {
    const double half = lineWidth / 2;
    Paint(x - half, y - half, x + w + half, y + h + half, line, [=](double px, double py) {
        return EdgeCoverage(std::abs(RoundRectDistance(px, py, x, y, w, h, radius)) - half);
    });
}

void Canvas::Circle(double cx, double cy, double radius, Rgb fill, double lineWidth, Rgb line) {
    const double reach = radius + lineWidth;
    Paint(cx - reach, cy - reach, cx + reach, cy + reach, fill, [=](double px, double py) {
        return EdgeCoverage(std::hypot(px - cx, py - cy) - radius);
    });
    if (lineWidth > 0)
        Arc(cx, cy, radius, 0, 360, lineWidth, line);
}

void Canvas::Arc(double cx, double cy, double radius, double fromDeg, double toDeg, double width,
                 Rgb colour) {
    const double half = width / 2;
    const double from = fromDeg * kPi / 180, to = toDeg * kPi / 180;
    const double reach = radius + half;
    Paint(cx - reach, cy - reach, cx + reach, cy + reach, colour, [=](double px, double py) {
        // Image rows grow downwards; angles are counted the usual way round.
        double angle = std::atan2(cy - py, px - cx);
        while (angle < from)
            angle += 2 * kPi;
        if (angle > to) {
            // Outside the sweep: distance to the nearer round end.
            const double d0 = std::hypot(px - (cx + radius * std::cos(from)),
                                         py - (cy - radius * std::sin(from)));
            const double d1 =
                std::hypot(px - (cx + radius * std::cos(to)), py - (cy - radius * std::sin(to)));
            return EdgeCoverage(std::min(d0, d1) - half);
        }
        return EdgeCoverage(std::abs(std::hypot(px - cx, py - cy) - radius) - half);
    });
}
