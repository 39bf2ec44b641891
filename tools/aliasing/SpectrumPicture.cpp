#include "tools/aliasing/SpectrumPicture.h"

#include "gdi/swell-gdi.h"
#include "raster/lice.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace aliasing {

namespace {

constexpr int kWidth = 960, kHeight = 540;
constexpr int kLeft = 70, kRight = 20, kTop = 50, kBottom = 50;
constexpr double kFloorDb = -140.0;
constexpr LICE_pixel kBackground = LICE_RGBA(250, 250, 247, 255);
constexpr LICE_pixel kGrid = LICE_RGBA(215, 215, 210, 255);
constexpr LICE_pixel kInk = LICE_RGBA(40, 40, 40, 255);

struct Plot {
    double rate;
    int X(double f) const {
        return kLeft + static_cast<int>(std::lround(f / (rate / 2.0) * (kWidth - kLeft - kRight)));
    }
    int Y(double db) const {
        db = std::clamp(db, kFloorDb, 0.0);
        return kTop + static_cast<int>(std::lround(db / kFloorDb * (kHeight - kTop - kBottom)));
    }
};

void Text(LICE_CachedFont& font, LICE_IBitmap* bm, const char* s, int x, int y, int w, int h,
          unsigned int flags) {
    RECT r = {x, y, x + w, y + h};
    font.DrawText(bm, s, -1, &r, flags | DT_SINGLELINE | DT_NOPREFIX);
}

// The spectrum's envelope: per pixel column the strongest bin in it, joined column to column.
void DrawTrace(LICE_IBitmap* bm, const Plot& plot, const Trace& trace) {
    const Spectrum& s = *trace.spectrum;
    std::vector<double> column(static_cast<size_t>(kWidth), kFloorDb);
    for (size_t k = 1; k < s.power.size(); ++k) {
        const int x = plot.X(BinFrequency(s.rate, static_cast<int>(k)));
        const double db = 10.0 * std::log10(std::max(s.power[k], 1e-30));
        column[static_cast<size_t>(x)] = std::max(column[static_cast<size_t>(x)], db);
    }
    for (int x = kLeft + 1; x <= kWidth - kRight; ++x)
        LICE_Line(bm, x - 1, plot.Y(column[static_cast<size_t>(x - 1)]), x,
                  plot.Y(column[static_cast<size_t>(x)]), trace.colour, 1.0f, LICE_COMBINE_COPY,
                  false);
}

} // namespace

bool WriteSpectrumPicture(const std::string& path, const std::string& title, const Trace& back,
                          const Trace& front) {
    LICE_MemBitmap bm(kWidth, kHeight);
    LICE_Clear(&bm, kBackground);
    const Plot plot{back.spectrum->rate};
    LICE_CachedFont font;
    font.SetFromHFont(CreateFont(14, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"),
                      FONT_OWNS_HFONT);
    font.SetTextColor(kInk);
    font.SetBkMode(0);

    char label[32];
    // NOLINTNEXTLINE(clang-analyzer-security.FloatLoopCounter): exact steps
    for (double db = 0.0; db >= kFloorDb; db -= 20.0) {
        LICE_Line(&bm, kLeft, plot.Y(db), kWidth - kRight, plot.Y(db), kGrid, 1.0f,
                  LICE_COMBINE_COPY, false);
        std::snprintf(label, sizeof label, "%.0f dBc", db);
        Text(font, &bm, label, 0, plot.Y(db) - 8, kLeft - 6, 16, DT_RIGHT);
    }
    // NOLINTNEXTLINE(clang-analyzer-security.FloatLoopCounter): exact steps
    for (double f = 0.0; f <= plot.rate / 2.0; f += 2000.0) {
        LICE_Line(&bm, plot.X(f), kTop, plot.X(f), plot.Y(kFloorDb), kGrid, 1.0f, LICE_COMBINE_COPY,
                  false);
        if (static_cast<int>(f) % 4000 == 0) {
            std::snprintf(label, sizeof label, "%.0f kHz", f / 1000.0);
            Text(font, &bm, label, plot.X(f) - 30, plot.Y(kFloorDb) + 6, 60, 16, DT_CENTER);
        }
    }
    DrawTrace(&bm, plot, back);
    DrawTrace(&bm, plot, front);
    // The band whose components count: above 20 kHz nothing is heard.
    LICE_DashedLine(&bm, plot.X(kBandTop), kTop, plot.X(kBandTop), plot.Y(kFloorDb), 4, 4, kInk,
                    1.0f, LICE_COMBINE_COPY, false);
    LICE_DrawRect(&bm, kLeft, kTop, kWidth - kLeft - kRight, plot.Y(kFloorDb) - kTop, kInk, 1.0f,
                  LICE_COMBINE_COPY);

    Text(font, &bm, title.c_str(), kLeft, 14, kWidth - kLeft - kRight, 20, DT_LEFT);
    // The legend, on a panel of its own over the traces.
    const int legendX = kWidth - kRight - 430, legendY = kTop + 8;
    LICE_FillRect(&bm, legendX - 8, legendY - 4, 428, 44, kBackground);
    LICE_DrawRect(&bm, legendX - 8, legendY - 4, 428, 44, kGrid, 1.0f, LICE_COMBINE_COPY);
    int y = legendY;
    for (const Trace* t : {&back, &front}) {
        LICE_FillRect(&bm, legendX, y + 3, 24, 10, t->colour);
        Text(font, &bm, t->label.c_str(), legendX + 32, y, 380, 16, DT_LEFT);
        y += 20;
    }
    return LICE_WritePNG(path.c_str(), &bm);
}

} // namespace aliasing
