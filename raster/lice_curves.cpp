// The smaller line shapes: bordered rectangles, lines with float ends, dashed lines and Bezier
// outlines (flattened into line segments).
#include "raster/lice.h"
#include "raster/lice_p.h"

#include <cmath>

using namespace lice_detail;

namespace {

// A float coordinate rounded to the pixel it falls in, held where int arithmetic is safe.
int pixelOf(float v) {
    return clampInt(toIntSat(std::floor((double)v + 0.5), 1e9));
}

enum { kLeft = 1, kRight = 2, kTop = 4, kBottom = 8 };

int outcode(double x, double y, double xlo, double ylo, double xhi, double yhi) {
    return (x < xlo ? kLeft : 0) | (x > xhi ? kRight : 0) | (y < ylo ? kTop : 0) |
           (y > yhi ? kBottom : 0);
}

// Draws a polyline through pts (pairs of doubles), each joint once: every segment after the
// first leaves out its starting pixel, which the previous one drew.
void polyline(LICE_IBitmap* dest, const double* pts, int n, LICE_pixel color, float alpha, int mode,
              bool aa) {
    int px = pixelOf((float)pts[0]), py = pixelOf((float)pts[1]);
    LICE_PutPixel(dest, px, py, color, alpha, mode);
    for (int i = 1; i < n; ++i) {
        const int x = pixelOf((float)pts[2 * i]), y = pixelOf((float)pts[2 * i + 1]);
        if (x == px && y == py) continue;
        // The segment from the neighbour of the last pixel toward (x, y) avoids the joint.
        const int dx = x - px, dy = y - py;
        const int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
        const int sx = ax >= ay ? (dx > 0 ? 1 : -1) : 0, sy = ay >= ax ? (dy > 0 ? 1 : -1) : 0;
        if (px + sx == x && py + sy == y)
            LICE_PutPixel(dest, x, y, color, alpha, mode);
        else
            LICE_Line(dest, px + sx, py + sy, x, y, color, alpha, mode, aa);
        px = x, py = y;
    }
}

} // namespace

void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel bgcolor,
                       LICE_pixel fgcolor, float alpha, int mode) {
    LICE_FillRect(dest, x + 1, y + 1, w - 2, h - 2, bgcolor, alpha, mode);
    LICE_DrawRect(dest, x, y, w - 1, h - 1, fgcolor, alpha, mode);
}

bool LICE_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi,
                    float yhi) {
    if (!x1 || !y1 || !x2 || !y2 || !(xlo <= xhi) || !(ylo <= yhi)) return false;
    double ax = *x1, ay = *y1, bx = *x2, by = *y2;
    if (ax != ax || ay != ay || bx != bx || by != by) return false;
    int c1 = outcode(ax, ay, xlo, ylo, xhi, yhi), c2 = outcode(bx, by, xlo, ylo, xhi, yhi);
    for (int pass = 0; pass < 32; ++pass) {
        if (!(c1 | c2)) {
            *x1 = (float)ax, *y1 = (float)ay, *x2 = (float)bx, *y2 = (float)by;
            return true;
        }
        if (c1 & c2) return false;
        const int code = c1 ? c1 : c2;
        double x, y;
        if (code & kBottom)
            y = yhi, x = ax + (bx - ax) * (yhi - ay) / (by - ay);
        else if (code & kTop)
            y = ylo, x = ax + (bx - ax) * (ylo - ay) / (by - ay);
        else if (code & kRight)
            x = xhi, y = ay + (by - ay) * (xhi - ax) / (bx - ax);
        else
            x = xlo, y = ay + (by - ay) * (xlo - ax) / (bx - ax);
        if (code == c1)
            ax = x, ay = y, c1 = outcode(ax, ay, xlo, ylo, xhi, yhi);
        else
            bx = x, by = y, c2 = outcode(bx, by, xlo, ylo, xhi, yhi);
    }
    return false;
}

void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_pixel color,
                float alpha, int mode, bool aa) {
    if (!dest) return;
    // Clipped in float first (with a margin), so far-off ends keep their slope.
    if (!LICE_ClipFLine(&x1, &y1, &x2, &y2, -1.0f, -1.0f, (float)dest->getWidth(),
                        (float)dest->getHeight()))
        return;
    LICE_Line(dest, pixelOf(x1), pixelOf(y1), pixelOf(x2), pixelOf(y2), color, alpha, mode, aa);
}

void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff,
                     LICE_pixel color, float alpha, int mode, bool aa) {
    if (!dest || pxon <= 0 || pxoff < 0) return;
    if (!LICE_ClipLine(&x1, &y1, &x2, &y2, 0, 0, dest->getWidth(), dest->getHeight())) return;
    const int dx = x2 - x1, dy = y2 - y1;
    const int n = std::abs(dx) > std::abs(dy) ? std::abs(dx) : std::abs(dy);
    // Dashes of pxon pixels every pxon + pxoff along the major axis, each a short line.
    for (int start = 0; start <= n; start += pxon + pxoff) {
        const int end = start + pxon - 1 < n ? start + pxon - 1 : n;
        const auto at = [&](int k, int* x, int* y) {
            *x = x1 + (n ? (int)std::lround((double)dx * k / n) : 0);
            *y = y1 + (n ? (int)std::lround((double)dy * k / n) : 0);
        };
        int ax, ay, bx, by;
        at(start, &ax, &ay);
        at(end, &bx, &by);
        LICE_Line(dest, ax, ay, bx, by, color, alpha, mode, aa);
    }
}

void LICE_DrawQBezier(LICE_IBitmap* dest, double xstart, double ystart, double xctl, double yctl,
                      double xend, double yend, LICE_pixel color, float alpha, int mode, bool aa,
                      double tol) {
    LICE_DrawCBezier(dest, xstart, ystart, xstart + (xctl - xstart) * (2.0 / 3.0),
                     ystart + (yctl - ystart) * (2.0 / 3.0), xend + (xctl - xend) * (2.0 / 3.0),
                     yend + (yctl - yend) * (2.0 / 3.0), xend, yend, color, alpha, mode, aa, tol);
}

void LICE_DrawCBezier(LICE_IBitmap* dest, double xstart, double ystart, double xctl1, double yctl1,
                      double xctl2, double yctl2, double xend, double yend, LICE_pixel color,
                      float alpha, int mode, bool aa, double tol) {
    if (!dest) return;
    const double c[8] = {xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend};
    double pts[2 * (kMaxBezierSegments + 1)];
    const int n = flattenCBezier(c, tol, pts);
    if (n < 1) return;
    polyline(dest, pts, n + 1, color, alpha, mode, aa);
}
