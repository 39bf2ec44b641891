// Filled cubic Beziers: the curve, flattened, closed against a row or a column and scan
// converted at pixel centres (one sub-row per pixel row, or four with exact horizontal
// coverage when anti-aliased).
#include "raster/lice.h"
#include "raster/lice_p.h"

#include "containers/WDL_TypedBuf.h"

#include <algorithm>
#include <cmath>

using namespace lice_detail;

namespace {

// The closed outline: the flattened curve and the two points on the fill line.
struct Outline {
    double pts[2 * (kMaxBezierSegments + 3)];
    int n = 0;
    double ymin = 0, ymax = 0;
};

struct Crossing {
    double x;
    int dir;
    bool operator<(const Crossing& o) const { return x < o.x; }
};

// Calls span(xa, xb) for every run of the line y = yc inside the outline (non-zero rule).
template <class F>
void spansAt(const Outline& o, double yc, Crossing* buf, F&& span) {
    int n = 0;
    for (int i = 0; i < o.n; ++i) {
        const double* a = o.pts + 2 * i;
        const double* b = o.pts + 2 * ((i + 1) % o.n);
        if ((a[1] <= yc) == (b[1] <= yc)) continue;
        buf[n++] = {a[0] + (yc - a[1]) * (b[0] - a[0]) / (b[1] - a[1]), b[1] > a[1] ? 1 : -1};
    }
    std::sort(buf, buf + n);
    int winding = 0;
    double start = 0;
    for (int i = 0; i < n; ++i) {
        const int before = winding;
        winding += buf[i].dir;
        if (before == 0 && winding != 0)
            start = buf[i].x;
        else if (before != 0 && winding == 0)
            span(start, buf[i].x);
    }
}

void fillOutline(LICE_IBitmap* dest, const Outline& o, LICE_pixel color, float alpha, int mode,
                 bool aa) {
    Canvas cv;
    if (!canvasOf(dest, &cv)) return;
    const int w = LICE_AlphaToWeight(alpha);
    if (w == 0) return;
    const bool flipped = dest->isFlipped();
    const auto rowOf = [&](int y) { return cv.at(0, flipped ? cv.h - 1 - y : y); };
    const int y0 = (int)std::max(0.0, std::floor(o.ymin));
    const int y1 = (int)std::min((double)cv.h - 1, std::ceil(o.ymax));
    Crossing cross[kMaxBezierSegments + 3];

    if (!aa) {
        withFillPen(mode, w, color, [&](auto pen) {
            for (int y = y0; y <= y1; ++y) {
                LICE_pixel* row = rowOf(y);
                spansAt(o, y + 0.5, cross, [&](double xa, double xb) {
                    // Pixels whose centres c + 0.5 fall in [xa, xb).
                    const double ca = std::max(0.0, std::ceil(xa - 0.5));
                    const double cb = std::min((double)cv.w, std::ceil(xb - 0.5));
                    for (int x = (int)ca; x < (int)cb; ++x)
                        pen(row + x, w);
                });
            }
        });
        return;
    }

    // Coverage of each column in 1/1024ths: four sub-rows of up to 256 each.
    WDL_TypedBuf<int> covBuf;
    int* cov = covBuf.Resize(cv.w, false);
    if (!cov) return;
    const bool copy = (mode & LICE_COMBINE_MASK) == LICE_COMBINE_COPY;
    withVarPen(mode, true, color, [&](auto pen) {
        for (int y = y0; y <= y1; ++y) {
            std::fill(cov, cov + cv.w, 0);
            int lo = cv.w, hi = -1;
            for (int sub = 0; sub < 4; ++sub) {
                spansAt(o, y + (sub + 0.5) / 4, cross, [&](double xa, double xb) {
                    xa = std::max(xa, 0.0), xb = std::min(xb, (double)cv.w);
                    if (!(xa < xb)) return;
                    const int ca = (int)xa, cb = std::min(cv.w - 1, (int)std::ceil(xb) - 1);
                    lo = std::min(lo, ca), hi = std::max(hi, cb);
                    for (int x = ca; x <= cb; ++x) {
                        const double part = std::min(xb, x + 1.0) - std::max(xa, (double)x);
                        cov[x] += (int)(part * 256 + 0.5);
                    }
                });
            }
            LICE_pixel* row = rowOf(y);
            for (int x = lo; x <= hi; ++x) {
                const int c = std::min(cov[x], 1024);
                const int pw = (int)((long long)w * c / 1024);
                if (pw > 0 || (pw < 0 && !copy)) pen(row + x, pw);
            }
        }
    });
}

// The outline of a curve closed against the line at fill (a row when vertical is false).
bool outlineOf(const double c[8], double tol, double fill, bool row, Outline* o) {
    const int n = flattenCBezier(c, tol, o->pts);
    if (n < 1 || !(std::fabs(fill) < 1e9)) return false;
    double* p = o->pts + 2 * (n + 1);
    if (row)
        p[0] = c[6], p[1] = fill, p[2] = c[0], p[3] = fill;
    else
        p[0] = fill, p[1] = c[7], p[2] = fill, p[3] = c[1];
    o->n = n + 3;
    o->ymin = o->ymax = o->pts[1];
    for (int i = 1; i < o->n; ++i)
        o->ymin = std::min(o->ymin, o->pts[2 * i + 1]),
        o->ymax = std::max(o->ymax, o->pts[2 * i + 1]);
    return true;
}

} // namespace

void LICE_FillCBezier(LICE_IBitmap* dest, double xstart, double ystart, double xctl1, double yctl1,
                      double xctl2, double yctl2, double xend, double yend, int yfill,
                      LICE_pixel color, float alpha, int mode, bool aa, double tol) {
    const double c[8] = {xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend};
    Outline o;
    if (dest && outlineOf(c, tol, yfill, true, &o)) fillOutline(dest, o, color, alpha, mode, aa);
}

void LICE_FillCBezierX(LICE_IBitmap* dest, double xstart, double ystart, double xctl1, double yctl1,
                       double xctl2, double yctl2, double xend, double yend, int xfill,
                       LICE_pixel color, float alpha, int mode, bool aa, double tol) {
    const double c[8] = {xstart, ystart, xctl1, yctl1, xctl2, yctl2, xend, yend};
    Outline o;
    if (dest && outlineOf(c, tol, xfill, false, &o)) fillOutline(dest, o, color, alpha, mode, aa);
}
