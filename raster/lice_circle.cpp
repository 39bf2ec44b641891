// Circles (midpoint and anti-aliased, outline and filled), small-radius stamps, arcs and
// rounded rectangles.
#include "raster/lice.h"
#include "raster/lice_p.h"

#include <cmath>

using namespace lice_detail;

namespace {

// Pixels outside this rectangle (right and bottom exclusive) are not written.
struct Clip {
    int l, t, r, b;
    bool has(int x, int y) const { return x >= l && x < r && y >= t && y < b; }
};

template <class Pen>
struct Plotter {
    const Canvas& cv;
    const Clip& clip;
    const Pen& pen;
    void operator()(int x, int y, int w) const {
        if (clip.has(x, y)) pen(cv.at(x, y), w);
    }
    // A vertical run of rows y0..y1 in column x.
    void column(int x, int y0, int y1, int w) const {
        if (x < clip.l || x >= clip.r) return;
        if (y0 < clip.t) y0 = clip.t;
        if (y1 >= clip.b) y1 = clip.b - 1;
        LICE_pixel* p = cv.at(x, y0 < 0 ? 0 : y0);
        for (int y = y0; y <= y1; ++y, p += cv.span)
            pen(p, w);
    }
    void row(int y, int x0, int x1, int w) const {
        if (y < clip.t || y >= clip.b) return;
        if (x0 < clip.l) x0 = clip.l;
        if (x1 >= clip.r) x1 = clip.r - 1;
        if (x0 > x1) return;
        LICE_pixel* p = cv.at(x0, y);
        for (int x = x0; x <= x1; ++x)
            pen(p++, w);
    }
};

// Midpoint circle. The filled form draws each covered column once, as one vertical run through
// the centre row (the centre row itself once, whole).
template <class Pen>
void midpointCircle(const Plotter<Pen>& plot, float cx, float cy, float r, bool fill, int w) {
    const int X = (int)(cx + 0.5f), Y = (int)(cy + 0.5f), R = (int)(r + 0.5f);
    if (R == 0) {
        plot(X, Y, w); // one pixel, blended once
        return;
    }
    if (fill) {
        plot.column(X, Y - R, Y - 1, w);
        plot.column(X, Y + 1, Y + R, w);
        plot.row(Y, X - R, X + R, w);
    } else {
        plot(X, Y - R, w), plot(X + R, Y, w), plot(X, Y + R, w), plot(X - R, Y, w);
    }
    // Filled, each column offset c > 0 is one run of half-height h above and below the centre
    // row. The steep octant gives each of its columns once; the shallow octant revisits a column
    // while it grows, so that column is drawn when the walk leaves it.
    const auto run = [&](int c, int h) {
        plot.column(X - c, Y - h, Y - 1, w), plot.column(X - c, Y + 1, Y + h, w);
        plot.column(X + c, Y - h, Y - 1, w), plot.column(X + c, Y + 1, Y + h, w);
    };
    int pendingCol = 0, pendingH = 0;
    int x = 0, y = R, d = -R;
    while (x + 1 < y) {
        const int ny = d >= 0 ? y - 1 : y;
        const int a = x + 1;
        if (fill) {
            run(a, ny);
            if (a != ny) {
                if (ny != pendingCol) {
                    if (pendingCol) run(pendingCol, pendingH);
                    pendingCol = ny;
                }
                pendingH = a;
            } else if (pendingCol == ny) {
                pendingCol = 0; // the same column, just drawn at its full height
            }
        } else {
            plot(X + a, Y - ny, w), plot(X - a, Y - ny, w);
            plot(X + a, Y + ny, w), plot(X - a, Y + ny, w);
            if (a != ny) {
                plot(X + ny, Y - a, w), plot(X - ny, Y - a, w);
                plot(X + ny, Y + a, w), plot(X - ny, Y + a, w);
            }
        }
        d += 2 * x + 3 - (d >= 0 ? 2 * (y - 1) : 0);
        x += 1;
        y = ny;
    }
    if (pendingCol) run(pendingCol, pendingH);
}

// Anti-aliased circle: one square root per column, coverage from the fractional distance.
template <class Pen>
void aaCircle(const Plotter<Pen>& plot, float cx, float cy, float r, bool fill, int w) {
    const int X = (int)(cx + 0.5f), Y = (int)(cy + 0.5f), T = (int)r;
    const double rr = (double)r * r;
    const int edge = (int)((r - std::floor(r)) * w);
    plot(X, Y - T - 1, edge), plot(X + T + 1, Y, edge);
    plot(X, Y + T + 1, edge), plot(X - T - 1, Y, edge);
    if (fill) {
        plot.column(X, Y - T, Y + T, w);
        for (int c = 1; c <= T; ++c) {
            const int J = (int)std::sqrt(rr - (double)c * c);
            plot.column(X - c, Y - J, Y + J, w), plot.column(X + c, Y - J, Y + J, w);
        }
    } else {
        plot(X, Y - T, w - edge), plot(X + T, Y, w - edge);
        plot(X, Y + T, w - edge), plot(X - T, Y, w - edge);
    }
    for (int i = 1;; ++i) {
        const double v = rr - (double)i * i;
        if (v < 0) break; // past the radius (a radius below one)
        const double F = std::sqrt(v);
        if (!(i <= (int)(F + 0.5))) break;
        const int J = (int)F, last = (int)(F + 0.5);
        const int k = (int)((F - std::floor(F)) * w);
        const auto quad = [&](int a, int b, int wt) {
            plot(X + a, Y - b, wt), plot(X - a, Y - b, wt);
            plot(X + a, Y + b, wt), plot(X - a, Y + b, wt);
        };
        quad(i, J + 1, k);
        if (i != last) quad(J + 1, i, k);
        if (!fill) {
            quad(i, J, w - k);
            if (i != last) quad(J, i, w - k);
        }
    }
}

void drawCircle(LICE_IBitmap* /*dest*/, const Canvas& cv, float cx, float cy, float r,
                LICE_pixel color, float alpha, int mode, bool aa, bool fill, const Clip& clip) {
    const int w = LICE_AlphaToWeight(alpha);
    if (w == 0) return;
    if (aa) {
        withVarPen(mode, true, color, [&](auto pen) {
            aaCircle(Plotter<decltype(pen)>{cv, clip, pen}, cx, cy, r, fill, w);
        });
    } else {
        withPen(mode, w, color, [&](auto pen) {
            midpointCircle(Plotter<decltype(pen)>{cv, clip, pen}, cx, cy, r, fill, w);
        });
    }
}

bool circleVisible(const Canvas& cv, float cx, float cy, float r) {
    if (!(r >= 0) || !(std::fabs(cx) < 1e8f) || !(std::fabs(cy) < 1e8f) || r > 1e8f) return false;
    const int icx = (int)cx, icy = (int)cy, ir = (int)r;
    return !(icx + ir < -2 || icy + ir < -2 || icx - ir > cv.w + 2 || icy - ir > cv.h + 2);
}

// Coverage stamps of the small radii, which the general algorithms draw poorly.
struct Stamp {
    float r;
    int n;
    const unsigned char* aa;
    const unsigned char* plain;
};

const unsigned char kAA15[] = {0x4F, 0xFF, 0xFF, 0x4F, 0xFF, 0x0F, 0x0F, 0xFF,
                               0xFF, 0x0F, 0x0F, 0xFF, 0x4F, 0xFF, 0xFF, 0x4F};
const unsigned char kPlain15[] = {0x00, 0xFF, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0xFF,
                                  0xFF, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0xFF, 0x00};
const unsigned char kAA2[] = {0x0F, 0xBF, 0xFF, 0xBF, 0x0F, 0xBF, 0xD1, 0x4F, 0xD1,
                              0xBF, 0xFF, 0x4F, 0x00, 0x4F, 0xFF, 0xBF, 0xD1, 0x4F,
                              0xD1, 0xBF, 0x0F, 0xBF, 0xFF, 0xBF, 0x0F};
const unsigned char kPlain2[] = {0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF,
                                 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                                 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00};
const unsigned char kAA25[] = {0x0F, 0xBF, 0xFF, 0xFF, 0xBF, 0x0F, 0xBF, 0xD1, 0x4F,
                               0x4F, 0xD1, 0xBF, 0xFF, 0x4F, 0x00, 0x00, 0x4F, 0xFF,
                               0xFF, 0x4F, 0x00, 0x00, 0x4F, 0xFF, 0xBF, 0xD1, 0x4F,
                               0x4F, 0xD1, 0xBF, 0x0F, 0xBF, 0xFF, 0xFF, 0xBF, 0x0F};
const unsigned char kPlain25[] = {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00,
                                  0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF,
                                  0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00,
                                  0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00};
const unsigned char kAA3[] = {0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x8F, 0x00, 0x8F, 0xFF, 0x61,
                              0x40, 0x61, 0xFF, 0x8F, 0xFF, 0x70, 0x00, 0x00, 0x00, 0x70,
                              0xFF, 0xFF, 0x30, 0x00, 0x00, 0x00, 0x30, 0xFF, 0xFF, 0x70,
                              0x00, 0x00, 0x00, 0x70, 0xFF, 0x8F, 0xFF, 0x61, 0x40, 0x61,
                              0xFF, 0x8F, 0x00, 0x8F, 0xFF, 0xFF, 0xFF, 0x8F, 0x00};
const unsigned char kPlain3[] = {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00,
                                 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00,
                                 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00,
                                 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
const unsigned char kAA35[] = {
    0x00, 0x4F, 0xDE, 0xFF, 0xFF, 0xDE, 0x4F, 0x00, 0x4F, 0xFF, 0xB0, 0x40, 0x40, 0xB0, 0xFF, 0x4F,
    0xDE, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xDE, 0xFF, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0xFF,
    0xFF, 0x40, 0x00, 0x00, 0x00, 0x00, 0x40, 0xFF, 0xDE, 0xB0, 0x00, 0x00, 0x00, 0x00, 0xB0, 0xDE,
    0x4F, 0xFF, 0xB0, 0x40, 0x40, 0xB0, 0xFF, 0x4F, 0x00, 0x4F, 0xDE, 0xFF, 0xFF, 0xDE, 0x4F, 0x00};
const unsigned char kPlain35[] = {
    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00,
    0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF,
    0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF,
    0x00, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
const unsigned char kAA4[] = {
    0x00, 0x1F, 0xB0, 0xFF, 0xFF, 0xFF, 0xB0, 0x1F, 0x00, 0x1F, 0xF0, 0xD1, 0x4F, 0x40,
    0x4F, 0xD1, 0xF0, 0x1F, 0xB0, 0xD1, 0x0F, 0x00, 0x00, 0x00, 0x0F, 0xD1, 0xB0, 0xFF,
    0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0xFF, 0xFF, 0x30, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x30, 0xFF, 0xFF, 0x4F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4F, 0xFF, 0xB0, 0xD1,
    0x0F, 0x00, 0x00, 0x00, 0x0F, 0xD1, 0xB0, 0x1F, 0xF0, 0xD1, 0x4F, 0x40, 0x4F, 0xD1,
    0xF0, 0x1F, 0x00, 0x1F, 0xB0, 0xFF, 0xFF, 0xFF, 0xB0, 0x1F, 0x00};
const unsigned char kPlain4[] = {
    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00,
    0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
    0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF,
    0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};

const Stamp kStamps[] = {{1.5f, 4, kAA15, kPlain15}, {2.0f, 5, kAA2, kPlain2},
                         {2.5f, 6, kAA25, kPlain25}, {3.0f, 7, kAA3, kPlain3},
                         {3.5f, 8, kAA35, kPlain35}, {4.0f, 9, kAA4, kPlain4}};

void circleOrFill(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                  int mode, bool aa, bool fill) {
    Canvas cv;
    if (!canvasOf(dest, &cv) || !circleVisible(cv, cx, cy, r)) return;
    if (!fill) {
        for (const Stamp& s : kStamps) {
            if (r != s.r) continue;
            LICE_DrawGlyph(dest, (int)(cx - r), (int)(cy - r), color, aa ? s.aa : s.plain, s.n, s.n,
                           alpha, mode);
            return;
        }
    }
    if (dest->isFlipped()) cy = cv.h - 1 - cy;
    drawCircle(dest, cv, cx, cy, r, color, alpha, mode, aa, fill, Clip{0, 0, cv.w, cv.h});
}

} // namespace

void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                 int mode, bool aa) {
    circleOrFill(dest, cx, cy, r, color, alpha, mode, aa, false);
}

void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                     int mode, bool aa) {
    circleOrFill(dest, cx, cy, r, color, alpha, mode, aa, true);
}

void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle,
              LICE_pixel color, float alpha, int mode, bool aa) {
    const double twoPi = 6.2831855, quarter = 3.14159265358979323846 / 2.0;
    Canvas cv;
    if (!canvasOf(dest, &cv) || !circleVisible(cv, cx, cy, r)) return;
    if (!(std::fabs(minAngle) < 1e6f) || !(std::fabs(maxAngle) < 1e6f)) return;
    if (std::fabs((double)maxAngle - minAngle) >= twoPi) {
        LICE_Circle(dest, cx, cy, r, color, alpha, mode, aa);
        return;
    }
    double a0 = minAngle, a1 = maxAngle;
    if (dest->isFlipped()) {
        cy = cv.h - 1 - cy;
        a0 = 3.14159265358979323846 - a0, a1 = 3.14159265358979323846 - a1;
    }
    double lo = a0 < a1 ? a0 : a1, hi = a0 < a1 ? a1 : a0;
    if (hi >= twoPi) {
        const double n = std::fmod(hi, twoPi);
        lo += n - hi, hi = n;
    }
    if (lo <= -twoPi) {
        const double n = std::fmod(lo, twoPi);
        hi += n - lo, lo = n;
    }
    if (LICE_AlphaToWeight(alpha) == 0) return;
    const double a = lo + twoPi, b = hi + twoPi;
    const auto point = [&](double ang, int* px, int* py) {
        *px = (int)(cx + r * std::sin(ang) + 0.5);
        *py = (int)(cy - r * std::cos(ang) + 0.5);
    };
    int px0, py0;
    point(a, &px0, &py0);
    for (double s = a; s < b;) {
        double e = (std::floor(s / quarter) + 1.0) * quarter;
        if (e > b) e = b;
        int px1, py1;
        point(e, &px1, &py1);
        const int mxX = px0 > px1 ? px0 : px1, mxY = py0 > py1 ? py0 : py1;
        Clip clip;
        clip.l = px0 < px1 ? px0 : px1;
        clip.t = py0 < py1 ? py0 : py1;
        clip.r = mxX + 1 + (cx != (float)mxX ? 1 : 0);
        clip.b = mxY + 1 + (cy != (float)mxY ? 1 : 0);
        if (clip.l < 0) clip.l = 0;
        if (clip.t < 0) clip.t = 0;
        if (clip.r > cv.w) clip.r = cv.w;
        if (clip.b > cv.h) clip.b = cv.h;
        if (clip.l < clip.r && clip.t < clip.b)
            drawCircle(dest, cv, cx, cy, r, color, alpha, mode, aa, false, clip);
        px0 = px1, py0 = py1, s = e;
    }
}

void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius,
                    LICE_pixel color, float alpha, int mode, bool aa) {
    if (!(std::fabs(x) < 1e9f && std::fabs(y) < 1e9f && std::fabs(w) < 1e9f && std::fabs(h) < 1e9f))
        return;
    if (cornerradius > 0) {
        float c = (float)cornerradius;
        if (c > w / 2) c = w / 2;
        if (c > h / 2) c = h / 2;
        c = std::floor(c);
        if (c >= 2) {
            const double pi = 3.14159265358979323846;
            LICE_Line(dest, (int)(x + c), (int)y, (int)(x + w - c), (int)y, color, alpha, mode, aa);
            LICE_Line(dest, (int)(x + c - 1), (int)(y + h), (int)(x + w - c), (int)(y + h), color,
                      alpha, mode, aa);
            LICE_Line(dest, (int)(x + w), (int)(y + c), (int)(x + w), (int)(y + h - c), color,
                      alpha, mode, aa);
            LICE_Line(dest, (int)x, (int)(y + c - 1), (int)x, (int)(y + h - c), color, alpha, mode,
                      aa);
            LICE_Arc(dest, x + c, y + c, c, (float)(-pi / 2), 0.0f, color, alpha, mode, aa);
            LICE_Arc(dest, x + w - c, y + c, c, 0.0f, (float)(pi / 2), color, alpha, mode, aa);
            LICE_Arc(dest, x + w - c, y + h - c, c, (float)(pi / 2), (float)pi, color, alpha, mode,
                     aa);
            LICE_Arc(dest, x + c, y + h - c, c, (float)pi, (float)(3 * pi / 2), color, alpha, mode,
                     aa);
            return;
        }
    }
    LICE_DrawRect(dest, (int)x, (int)y, (int)w, (int)h, color, alpha, mode);
}
