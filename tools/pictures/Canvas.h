#pragma once

#include <cstdint>
#include <vector>

// An RGB raster with antialiased strokes and fills, enough for clean line drawings. Every shape
// is drawn from its signed distance, so edges are smooth at any size without a path library.
struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

class Canvas {
  public:
    Canvas(int width, int height, Rgb background);

    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::vector<std::uint8_t>& Pixels() const { return pixels_; }  // RGB, row by row

    // A straight stroke with round ends.
    void Line(double x0, double y0, double x1, double y1, double width, Rgb colour);
    // A rectangle with rounded corners: filled, then outlined when lineWidth > 0.
    void RoundRect(double x, double y, double w, double h, double radius, Rgb fill,
                   double lineWidth, Rgb line);
    void RoundRectOutline(double x, double y, double w, double h, double radius, double lineWidth,
                          Rgb line);
    void Circle(double cx, double cy, double radius, Rgb fill, double lineWidth, Rgb line);
    // An arc of a circle between two angles in degrees (0 = right, counter-clockwise).
    void Arc(double cx, double cy, double radius, double fromDeg, double toDeg, double width,
             Rgb colour);

  private:
    template <typename Coverage>
    void Paint(double x0, double y0, double x1, double y1, Rgb colour, Coverage coverage);
    void Blend(int x, int y, Rgb colour, double alpha);

    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};
