// Filled trapezoids, triangles and convex polygons: rows between two 16.16 edges.
#include "raster/lice.h"
#include "raster/lice_p.h"

#include "containers/WDL_TypedBuf.h"

#include <algorithm>

using namespace lice_detail;

namespace {

// One edge of a trapezoid: its x at the first row and the 16.16 step per row, advanced by the
// integer part of the accumulated step so the fraction is kept.
struct Edge {
    long long x, step, acc = 0;
    Edge(long long xa, long long xb, long long rows) {
        x = xa;
        step = rows ? (xb - xa) * 65536 / rows : 0;
        const long long lim = 536870912; // 2^29
        if (step > lim) step = lim;
        if (step < -lim) step = -lim;
    }
    long long at() const { return x + acc / 65536; }
    void advance(long long rows) { acc += step * rows; }
};

template <class Pen>
void trapezoidRows(const Canvas& cv, Edge l, Edge r, int y0, int y1, const Pen& pen, int w) {
    for (int y = y0; y <= y1; ++y) {
        long long a = l.at(), b = r.at();
        if (a < 0) a = 0;
        if (b > cv.w - 1) b = cv.w - 1;
        LICE_pixel* p = cv.at((int)a, y);
        for (long long x = a; x <= b; ++x)
            pen(p++, w);
        l.advance(1), r.advance(1);
    }
}

// Canvas coordinates (already mirrored for a flipped bitmap).
void trapezoid(const Canvas& cv, long long x1a, long long x1b, long long y1, long long x2a,
               long long x2b, long long y2, LICE_pixel color, int w, int mode) {
    if (y1 > y2) std::swap(x1a, x2a), std::swap(x1b, x2b), std::swap(y1, y2);
    if ((x1b < 0 && x2b < 0) || (x1a >= cv.w && x2a >= cv.w) || y2 < 0 || y1 >= cv.h) return;
    const long long rows = y2 - y1;
    Edge l(x1a, x2a, rows), r(x1b, x2b, rows);
    if (x1a <= 0 && x2a <= 0) l = Edge(0, 0, 0); // held at the left border
    if (x1b > cv.w - 1 && x2b > cv.w - 1) r = Edge(cv.w - 1, cv.w - 1, 0);
    long long first = y1;
    if (first < 0) l.advance(-first), r.advance(-first), first = 0;
    const long long last = y2 < cv.h - 1 ? y2 : cv.h - 1;
    withFillPen(mode, w, color,
                [&](auto pen) { trapezoidRows(cv, l, r, (int)first, (int)last, pen, w); });
}

struct Pt {
    int x, y;
};

} // namespace

void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2,
                        LICE_pixel color, float alpha, int mode) {
    Canvas cv;
    if (!canvasOf(dest, &cv)) return;
    if (dest->isFlipped()) y1 = cv.h - 1 - y1, y2 = cv.h - 1 - y2;
    const int w = LICE_AlphaToWeight(alpha);
    if (w == 0) return;
    trapezoid(cv, x1a, x1b, y1, x2a, x2b, y2, color, w, mode);
}

void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3,
                       LICE_pixel color, float alpha, int mode) {
    const int xs[3] = {x1, x2, x3}, ys[3] = {y1, y2, y3};
    LICE_FillConvexPolygon(dest, xs, ys, 3, color, alpha, mode);
}

void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints,
                            LICE_pixel color, float alpha, int mode) {
    Canvas cv;
    if (!x || !y || npoints < 3 || !canvasOf(dest, &cv)) return;
    const int w = LICE_AlphaToWeight(alpha);
    if (w == 0) return;

    Pt local[512];
    WDL_TypedBuf<Pt> heap;
    Pt* p = local;
    if (npoints > 512) {
        p = heap.Resize(npoints, false);
        if (!p) return;
    }
    const bool flip = dest->isFlipped();
    int minx = 1 << 28, maxx = -(1 << 28);
    for (int i = 0; i < npoints; ++i) {
        // Far-off vertices are held where the edge arithmetic below cannot overflow.
        const auto hold = [](long long v) {
            return (int)(v < -(1 << 28) ? -(1 << 28) : v > (1 << 28) ? (1 << 28) : v);
        };
        p[i] = {hold(x[i]), hold(flip ? cv.h - 1LL - y[i] : y[i])};
        minx = std::min(minx, p[i].x), maxx = std::max(maxx, p[i].x);
    }
    std::sort(p, p + npoints,
              [](const Pt& a, const Pt& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
    if (p[0].y == p[npoints - 1].y) {
        trapezoid(cv, minx, maxx, p[0].y, minx, maxx, p[0].y, color, w, mode);
        return;
    }

    // Slope dx/dy from a to b; a vertex on the same row lies at +-infinity.
    const auto slope = [](const Pt& a, const Pt& b) {
        if (b.y == a.y) return b.x > a.x ? 1e30 : b.x < a.x ? -1e30 : 0.0;
        return (double)(b.x - a.x) / (b.y - a.y);
    };
    // The next vertex of a chain: the most negative slope (left) or most positive (right) among
    // the vertices after cur; ties keep the later one. -1 when cur is the last.
    const auto next = [&](int cur, bool left) {
        int best = -1;
        double bs = 0;
        for (int j = cur + 1; j < npoints; ++j) {
            const double s = slope(p[cur], p[j]);
            if (best < 0 || (left ? s <= bs : s >= bs)) best = j, bs = s;
        }
        return best;
    };
    // x of a chain from a to b at row yy.
    const auto chainX = [](const Pt& a, const Pt& b, int yy, bool left) {
        if (a.y == b.y) return left ? std::min(a.x, b.x) : std::max(a.x, b.x);
        const float s = (float)(b.x - a.x) / (float)(b.y - a.y);
        return a.x + (int)((yy - a.y) * s);
    };

    int cl = 0, cr = 0, nl = next(0, true), nr = next(0, false);
    int row = p[0].y;
    while (nl >= 0 && nr >= 0) {
        const int end = std::min(p[nl].y, p[nr].y);
        if (end >= row) {
            trapezoid(cv, chainX(p[cl], p[nl], row, true), chainX(p[cr], p[nr], row, false), row,
                      chainX(p[cl], p[nl], end, true), chainX(p[cr], p[nr], end, false), end, color,
                      w, mode);
            row = end + 1;
        }
        const bool reachedL = p[nl].y == end, reachedR = p[nr].y == end;
        if (reachedL) cl = nl, nl = next(cl, true);
        if (reachedR) cr = nr, nr = next(cr, false);
    }
}
