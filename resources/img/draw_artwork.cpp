// Draws the editor's artwork: the pedal face (BG.png), the two knob filmstrips (GAIN.png,
// LEVEL.png), the bypass switch strip (BYPASS.png) and the quality switch strip (HQ.png), at 1x
// and again as the 2x, 3x and 4x sets (BG@2x.png and so on) that the editor draws from at higher
// scale factors.
//
// usage: zerub-draw-artwork OUT_DIR
//        zerub-draw-artwork [OUT_DIR] --preview FILE [--knob-frame N] [--switch-frame N]
//                           [--hq-frame N] [--zoom N] [--crop X Y W H]
//
// Everything is drawn from code with fixed inputs (no clock, no randomness, hinting off), so the
// same machine writes the same bytes every run. The editor blits the knob and switch frames with
// straight alpha over the background; the preview does the same so it shows what a user sees.
// A set at scale N is the same drawing with every coordinate multiplied by N; the paint's flake
// keeps its size in editor pixels, so a set scaled down to 1x shows the 1x texture.

#include "effect/ZerubLayout.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Editor geometry: the effect's editor layout, shared with the editor.
using namespace zerub_layout;
constexpr int kLargestSet = 4; // the editor's largest scale factor
// Knob pointer sweep: frame 0 at -135 degrees from straight up, the last frame at +135.
constexpr double kPi = 3.14159265358979323846;
constexpr double kSweepHalf = 135.0 * kPi / 180.0;
// Light comes from the upper left; angles count clockwise from straight up.
constexpr double kLightAngle = -40.0 * kPi / 180.0;

// The printed drive emblem across the lower face (its centre line).
constexpr double kEmblemY = 352.0;

// The bottom plate that carries the bypass switch and the maker's mark.
constexpr double kPlateLeft = 8.0, kPlateTop = 477.0, kPlateRight = 325.0, kPlateBottom = 507.0;

struct Rgb {
    double r, g, b;
};

const Rgb kInk{0.945, 0.900, 0.780};      // cream screen print
const Rgb kInkDim{0.780, 0.700, 0.560};   // cream at lower contrast
const Rgb kBodyHi{0.560, 0.110, 0.120};   // enclosure, lit side
const Rgb kBodyLo{0.240, 0.030, 0.050};   // enclosure, shaded side
const Rgb kSurround{0.070, 0.065, 0.075}; // behind the enclosure's rounded corners

double AngleOfFrame(int frame, int frames) {
    return -kSweepHalf + 2.0 * kSweepHalf * frame / (frames - 1);
}

// Point at radius r and angle a (clockwise from up) around (cx, cy).
void Polar(double cx, double cy, double r, double a, double* x, double* y) {
    *x = cx + r * std::sin(a);
    *y = cy - r * std::cos(a);
}

void SetRgb(cairo_t* cr, Rgb c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void AddStop(cairo_pattern_t* p, double offset, Rgb c, double alpha = 1.0) {
    cairo_pattern_add_color_stop_rgba(p, offset, c.r, c.g, c.b, alpha);
}

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Grey(double v) {
    return {v, v, v};
}

void RoundedRect(cairo_t* cr, double x0, double y0, double x1, double y1, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -kPi / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, kPi / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, kPi / 2, kPi);
    cairo_arc(cr, x0 + r, y0 + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

void Circle(cairo_t* cr, double cx, double cy, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
}

// Integer hash for the paint's metal flake: fixed, so the texture is the same every run.
uint32_t Hash(uint32_t x, uint32_t y) {
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

// ---------------------------------------------------------------------------------------------
// Text

enum class Align { Left, Centre, Right };

struct TextStyle {
    const char* family; // e.g. "DejaVu Sans Condensed Bold"
    double px;          // em size in pixels
    double tracking;    // extra space between letters in pixels
};

PangoLayout* MakeLayout(cairo_t* cr, const TextStyle& style, const char* text) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    // Unhinted outlines keep the text identical whatever the machine's font settings.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);

    PangoFontDescription* desc = pango_font_description_from_string(style.family);
    pango_font_description_set_absolute_size(desc, style.px * PANGO_SCALE);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    if (style.tracking != 0.0) {
        PangoAttrList* attrs = pango_attr_list_new();
        pango_attr_list_insert(attrs,
                               pango_attr_letter_spacing_new(int(style.tracking * PANGO_SCALE)));
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
    }
    pango_layout_set_text(layout, text, -1);
    return layout;
}

// Moves to where the layout must start so that its inked extent is aligned at x and its first
// baseline sits on y. Returns the inked width.
double PlaceLayout(cairo_t* cr, PangoLayout* layout, double x, double y, Align align) {
    PangoRectangle ink, logical;
    pango_layout_get_extents(layout, &ink, &logical);
    double inkX = double(ink.x) / PANGO_SCALE, inkW = double(ink.width) / PANGO_SCALE;
    double baseline = double(pango_layout_get_baseline(layout)) / PANGO_SCALE;
    double left = x;
    if (align == Align::Centre) left = x - inkW / 2;
    if (align == Align::Right) left = x - inkW;
    cairo_move_to(cr, left - inkX, y - baseline);
    return inkW;
}

// Screen-printed text: the ink, with a faint shadow below it where paint meets metal.
void PrintText(cairo_t* cr, const TextStyle& style, const char* text, double x, double y,
               Align align, Rgb ink, double alpha = 1.0, double shadow = 0.35) {
    PangoLayout* layout = MakeLayout(cr, style, text);
    if (shadow > 0.0) {
        PlaceLayout(cr, layout, x, y + 0.8, align);
        cairo_set_source_rgba(cr, 0, 0, 0, shadow);
        pango_cairo_show_layout(cr, layout);
    }
    PlaceLayout(cr, layout, x, y, align);
    SetRgb(cr, ink, alpha);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

// ---------------------------------------------------------------------------------------------
// Metal parts shared by the face

// A spun-metal disc: the bright streaks run through the centre across the light direction,
// which is how concentric machining catches a lamp.
void SpunDisc(cairo_t* cr, double cx, double cy, double r, double base, double sheen) {
    cairo_pattern_t* mesh = cairo_pattern_create_mesh();
    const int sectors = 96;
    const double R = r + 2.0;
    for (int i = 0; i < sectors; ++i) {
        double a0 = 2 * kPi * i / sectors, a1 = 2 * kPi * (i + 1) / sectors;
        double x0, y0, x1, y1;
        Polar(cx, cy, R, a0, &x0, &y0);
        Polar(cx, cy, R, a1, &x1, &y1);
        auto shade = [&](double a) {
            double d = a - kLightAngle;
            double v = base + sheen * std::pow(std::fabs(std::cos(d)), 6.0) -
                       0.5 * sheen * std::pow(std::fabs(std::sin(d)), 3.0) * 0.4;
            // The half facing the light is a touch brighter overall.
            v += 0.06 * std::cos(d);
            return std::clamp(v, 0.0, 1.0);
        };
        double v0 = shade(a0), v1 = shade(a1), vc = base + 0.5 * sheen;
        cairo_mesh_pattern_begin_patch(mesh);
        cairo_mesh_pattern_move_to(mesh, cx, cy);
        cairo_mesh_pattern_line_to(mesh, x0, y0);
        cairo_mesh_pattern_line_to(mesh, x1, y1);
        cairo_mesh_pattern_line_to(mesh, cx, cy);
        cairo_mesh_pattern_set_corner_color_rgb(mesh, 0, vc, vc, vc * 1.01);
        cairo_mesh_pattern_set_corner_color_rgb(mesh, 1, v0, v0, v0 * 1.02);
        cairo_mesh_pattern_set_corner_color_rgb(mesh, 2, v1, v1, v1 * 1.02);
        cairo_mesh_pattern_set_corner_color_rgb(mesh, 3, vc, vc, vc * 1.01);
        cairo_mesh_pattern_end_patch(mesh);
    }
    cairo_save(cr);
    Circle(cr, cx, cy, r);
    cairo_clip(cr);
    cairo_set_source(cr, mesh);
    cairo_paint(cr);
    // Fine machining rings.
    cairo_set_line_width(cr, 0.35);
    // NOLINTNEXTLINE(clang-analyzer-security.FloatLoopCounter): the radii the artwork is drawn at
    for (double rr = 1.5; rr < r; rr += 0.9) {
        double a = 0.025 + 0.02 * ((Hash(uint32_t(rr * 10), 7) & 255) / 255.0);
        Circle(cr, cx, cy, rr);
        cairo_set_source_rgba(cr, 0, 0, 0, a);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    cairo_pattern_destroy(mesh);
}

// Soft round shadow, darkest at the centre.
void SoftShadow(cairo_t* cr, double cx, double cy, double r0, double r1, double alpha) {
    cairo_pattern_t* p = cairo_pattern_create_radial(cx, cy, r0, cx, cy, r1);
    cairo_pattern_add_color_stop_rgba(p, 0, 0, 0, 0, alpha);
    cairo_pattern_add_color_stop_rgba(p, 0.5, 0, 0, 0, alpha * 0.45);
    cairo_pattern_add_color_stop_rgba(p, 1, 0, 0, 0, 0);
    cairo_set_source(cr, p);
    Circle(cr, cx, cy, r1);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// A cross-head enclosure screw.
void Screw(cairo_t* cr, double cx, double cy, double slotAngle) {
    SoftShadow(cr, cx + 0.8, cy + 1.4, 5.0, 9.0, 0.55);
    // Countersink: a dark ring in the paint.
    Circle(cr, cx, cy, 7.2);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    cairo_fill(cr);
    cairo_pattern_t* head = cairo_pattern_create_radial(cx - 2.2, cy - 2.6, 0.5, cx, cy, 6.6);
    AddStop(head, 0, Grey(0.95));
    AddStop(head, 0.45, Grey(0.70));
    AddStop(head, 1, Grey(0.30));
    Circle(cr, cx, cy, 6.3);
    cairo_set_source(cr, head);
    cairo_fill(cr);
    cairo_pattern_destroy(head);
    Circle(cr, cx, cy, 6.3);
    cairo_set_line_width(cr, 0.7);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int k = 0; k < 2; ++k) {
        double a = slotAngle + k * kPi / 2, x0, y0, x1, y1;
        Polar(cx, cy, 4.0, a, &x0, &y0);
        Polar(cx, cy, 4.0, a + kPi, &x1, &y1);
        // Lit lower lip of the slot, then the slot itself.
        cairo_move_to(cr, x0 + 0.4, y0 + 0.6);
        cairo_line_to(cr, x1 + 0.4, y1 + 0.6);
        cairo_set_line_width(cr, 1.7);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.45);
        cairo_stroke(cr);
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
        cairo_set_line_width(cr, 1.6);
        cairo_set_source_rgba(cr, 0.08, 0.08, 0.09, 0.9);
        cairo_stroke(cr);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

// Scale printed around a knob: major ticks at every third frame position with numerals 0 to 10,
// dots between.
void KnobScale(cairo_t* cr, double cx, double cy) {
    // A slightly darker seat under the knob so its soft edge lands on a calm tone.
    cairo_pattern_t* seat = cairo_pattern_create_radial(cx, cy + 1, 24, cx, cy + 1, 33);
    cairo_pattern_add_color_stop_rgba(seat, 0, 0, 0, 0, 0.30);
    cairo_pattern_add_color_stop_rgba(seat, 1, 0, 0, 0, 0);
    cairo_set_source(cr, seat);
    Circle(cr, cx, cy + 1, 33);
    cairo_fill(cr);
    cairo_pattern_destroy(seat);

    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    const TextStyle numeral{"DejaVu Sans Condensed Bold", 7.0, 0.0};
    const int majors = 11;
    for (int i = 0; i < majors; ++i) {
        double a = AngleOfFrame(i, majors), x0, y0, x1, y1;
        bool end = i == 0 || i == majors - 1;
        Polar(cx, cy, 33.5, a, &x0, &y0);
        Polar(cx, cy, end ? 40.5 : 38.5, a, &x1, &y1);
        for (int pass = 0; pass < 2; ++pass) {
            double dy = pass == 0 ? 0.8 : 0.0;
            cairo_move_to(cr, x0, y0 + dy);
            cairo_line_to(cr, x1, y1 + dy);
            cairo_set_line_width(cr, end ? 2.0 : 1.6);
            if (pass == 0)
                cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
            else
                SetRgb(cr, kInk);
            cairo_stroke(cr);
        }
        // Numerals, centred on their tick's direction.
        char num[4];
        std::snprintf(num, sizeof num, "%d", i);
        double nx, ny;
        Polar(cx, cy, 46.5, a, &nx, &ny);
        PrintText(cr, numeral, num, nx, ny + 2.4, Align::Centre, kInkDim, 1.0, 0.25);
        if (i + 1 < majors) {
            double am = (a + AngleOfFrame(i + 1, majors)) / 2, xm, ym;
            Polar(cx, cy, 35.5, am, &xm, &ym);
            Circle(cr, xm, ym, 0.95);
            SetRgb(cr, kInkDim);
            cairo_fill(cr);
        }
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

// ---------------------------------------------------------------------------------------------
// Background

void FlakePaint(cairo_surface_t* s, int scale) {
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < kHeight * scale; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < kWidth * scale; ++x) {
            uint32_t h = Hash(uint32_t(x / scale), uint32_t(y / scale));
            int d = int(h & 7) - 4;            // fine grain
            if ((h >> 8) % 97 == 0) d += 16;   // sparse bright flakes
            if ((h >> 16) % 113 == 0) d -= 10; // and a few dark ones
            uint32_t p = row[x];
            auto ch = [&](int shift) {
                int v = int((p >> shift) & 255) + d;
                return uint32_t(std::clamp(v, 0, 255)) << shift;
            };
            row[x] = (p & 0xff000000u) | ch(16) | ch(8) | ch(0);
        }
    }
    cairo_surface_mark_dirty(s);
}

void Enclosure(cairo_t* cr, cairo_surface_t* s, int scale) {
    SetRgb(cr, kSurround);
    cairo_paint(cr);

    const double r = 18.0;
    RoundedRect(cr, 0.5, 0.5, kWidth - 0.5, kHeight - 0.5, r);
    cairo_pattern_t* body = cairo_pattern_create_linear(40, 0, kWidth - 40, kHeight);
    AddStop(body, 0, kBodyHi);
    AddStop(body, 0.55, Mix(kBodyHi, kBodyLo, 0.55));
    AddStop(body, 1, kBodyLo);
    cairo_set_source(cr, body);
    cairo_fill(cr);
    cairo_pattern_destroy(body);
    FlakePaint(s, scale);

    cairo_save(cr);
    RoundedRect(cr, 0.5, 0.5, kWidth - 0.5, kHeight - 0.5, r);
    cairo_clip(cr);
    // A broad soft highlight where the lamp hits the lacquer.
    cairo_pattern_t* sheen = cairo_pattern_create_radial(90, 60, 10, 110, 110, 300);
    cairo_pattern_add_color_stop_rgba(sheen, 0, 1, 0.85, 0.8, 0.16);
    cairo_pattern_add_color_stop_rgba(sheen, 1, 1, 0.85, 0.8, 0);
    cairo_set_source(cr, sheen);
    cairo_paint(cr);
    cairo_pattern_destroy(sheen);
    // The die-cast box rolls off at its edges: darker toward every border.
    for (int i = 0; i < 10; ++i) {
        double inset = 0.5 + i;
        RoundedRect(cr, inset, inset, kWidth - inset, kHeight - inset, std::max(2.0, r - i));
        cairo_set_line_width(cr, 1.0);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.26 * std::pow(1.0 - i / 10.0, 2.0));
        cairo_stroke(cr);
    }
    // Bevel: lit along the top and left, shaded along the bottom and right.
    cairo_pattern_t* bevel = cairo_pattern_create_linear(0, 0, kWidth, kHeight);
    cairo_pattern_add_color_stop_rgba(bevel, 0, 1, 0.9, 0.85, 0.45);
    cairo_pattern_add_color_stop_rgba(bevel, 0.5, 1, 0.9, 0.85, 0.06);
    cairo_pattern_add_color_stop_rgba(bevel, 0.5, 0, 0, 0, 0.05);
    cairo_pattern_add_color_stop_rgba(bevel, 1, 0, 0, 0, 0.45);
    RoundedRect(cr, 2.5, 2.5, kWidth - 2.5, kHeight - 2.5, r - 2);
    cairo_set_line_width(cr, 1.6);
    cairo_set_source(cr, bevel);
    cairo_stroke(cr);
    cairo_pattern_destroy(bevel);
    cairo_restore(cr);
}

// The recessed black plate along the bottom edge.
void BottomPlate(cairo_t* cr) {
    const double x0 = kPlateLeft, y0 = kPlateTop, x1 = kPlateRight, y1 = kPlateBottom;
    // Lit lower lip of the recess.
    RoundedRect(cr, x0 - 1, y0 - 1, x1 + 1, y1 + 1.2, 6.5);
    cairo_set_source_rgba(cr, 1, 0.85, 0.8, 0.18);
    cairo_fill(cr);
    RoundedRect(cr, x0 - 1, y0 - 1.2, x1 + 1, y1, 6.5);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_fill(cr);
    cairo_pattern_t* fill = cairo_pattern_create_linear(0, y0, 0, y1);
    AddStop(fill, 0, Grey(0.045));
    AddStop(fill, 1, Grey(0.105));
    RoundedRect(cr, x0, y0, x1, y1, 5.5);
    cairo_set_source(cr, fill);
    cairo_fill(cr);
    cairo_pattern_destroy(fill);
    // Inner shadow under the top edge.
    cairo_save(cr);
    RoundedRect(cr, x0, y0, x1, y1, 5.5);
    cairo_clip(cr);
    cairo_pattern_t* inner = cairo_pattern_create_linear(0, y0, 0, y0 + 6);
    cairo_pattern_add_color_stop_rgba(inner, 0, 0, 0, 0, 0.7);
    cairo_pattern_add_color_stop_rgba(inner, 1, 0, 0, 0, 0);
    cairo_set_source(cr, inner);
    cairo_paint(cr);
    cairo_pattern_destroy(inner);
    cairo_restore(cr);
    // Divider between the switch and the maker's mark.
    double dx = kLinkLeft - 4.5;
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, dx, y0 + 5);
    cairo_line_to(cr, dx, y1 - 4);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.9);
    cairo_stroke(cr);
    cairo_move_to(cr, dx + 1, y0 + 5);
    cairo_line_to(cr, dx + 1, y1 - 4);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
    cairo_stroke(cr);
}

// The maker's mark inside the link strip: a quill feather and the name with its web address.
void MakerMark(cairo_t* cr) {
    const double cy = (kLinkTop + std::min<double>(kLinkBottom, kPlateBottom)) / 2 - 1;
    // Quill: a curved vane with a spine, nib toward the lower left.
    double qx = kLinkLeft + 9, qy = cy;
    cairo_save(cr);
    cairo_translate(cr, qx, qy);
    cairo_rotate(cr, 0.62);
    cairo_move_to(cr, 0, 10);
    cairo_curve_to(cr, -5.0, 3, -4.5, -5, 0, -10);
    cairo_curve_to(cr, 3.0, -5, 3.5, 3, 0, 10);
    cairo_close_path(cr);
    SetRgb(cr, kInk);
    cairo_fill(cr);
    cairo_move_to(cr, 0, 11.5);
    cairo_curve_to(cr, 0.2, 4, -0.3, -3, -0.6, -8);
    cairo_set_line_width(cr, 0.8);
    cairo_set_source_rgba(cr, 0.10, 0.08, 0.08, 1);
    cairo_stroke(cr);
    for (int i = 0; i < 3; ++i) { // notches in the vane
        double y = -4.0 + 4.0 * i;
        cairo_move_to(cr, -4.0, y - 1.5);
        cairo_line_to(cr, -2.2, y);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    const TextStyle name{"DejaVu Serif Bold Italic", 11.0, 0.1};
    const TextStyle web{"DejaVu Sans", 6.5, 0.4};
    double tx = kLinkLeft + 19;
    PrintText(cr, name, "Quillmoor", tx, cy + 2.0, Align::Left, kInk, 1.0, 0.0);
    PrintText(cr, web, "quillmoor.com", tx + 1, cy + 10.5, Align::Left, kInkDim, 0.9, 0.0);
}

// The drive emblem: a printed divider whose wave is driven harder from left to right, from a
// clean sine into a rounded, clipped one, between two thin rules.
void DriveEmblem(cairo_t* cr, double x0, double x1, double cy, double amp) {
    const double w0 = x0 + 0.22 * (x1 - x0), w1 = x1 - 0.22 * (x1 - x0);
    const int steps = 600;
    const double cycles = 4.0;
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int pass = 0; pass < 2; ++pass) {
        cairo_move_to(cr, x0, cy);
        cairo_line_to(cr, w0, cy);
        for (int i = 0; i <= steps; ++i) {
            double t = double(i) / steps;
            double drive = 0.4 + 6.5 * t * t;
            // Tapered ends keep the wave on the rule so it grows out of it and back into it.
            const double taper = 0.1;
            double edge = std::min(t, 1.0 - t) / taper;
            double env = edge >= 1.0 ? 1.0 : 0.5 - 0.5 * std::cos(kPi * edge);
            double v = std::tanh(drive * std::sin(2 * kPi * cycles * t)) / std::tanh(drive);
            cairo_line_to(cr, w0 + (w1 - w0) * t, cy - amp * env * v + (pass == 0 ? 0.8 : 0.0));
        }
        cairo_line_to(cr, x1, cy);
        cairo_set_line_width(cr, 1.7);
        if (pass == 0)
            cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
        else
            SetRgb(cr, kInk);
        cairo_stroke(cr);
    }
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
}

// A surface of w x h editor pixels at scale, with a context that draws in editor pixels.
cairo_surface_t* ScaledSurface(int w, int h, int scale, cairo_t** cr) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w * scale, h * scale);
    *cr = cairo_create(s);
    if (scale != 1) cairo_scale(*cr, scale, scale);
    return s;
}

cairo_surface_t* DrawBackground(int scale) {
    cairo_t* cr = nullptr;
    cairo_surface_t* s = ScaledSurface(kWidth, kHeight, scale, &cr);
    Enclosure(cr, s, scale);

    // Pinstripe keyline around the printed area.
    RoundedRect(cr, 9.5, 9.5, kWidth - 9.5, kPlateTop - 7.5, 12);
    cairo_set_line_width(cr, 1.0);
    SetRgb(cr, kInk, 0.55);
    cairo_stroke(cr);

    Screw(cr, 20, 20, 0.35);
    Screw(cr, kWidth - 20, 20, 1.10);
    Screw(cr, 20, kPlateTop - 18, 0.80);
    Screw(cr, kWidth - 20, kPlateTop - 18, 0.15);

    const double gx = kGainX + kKnobSize / 2.0, gy = kGainY + kKnobSize / 2.0;
    const double lx = kLevelX + kKnobSize / 2.0, ly = kLevelY + kKnobSize / 2.0;
    KnobScale(cr, gx, gy);
    KnobScale(cr, lx, ly);
    const TextStyle label{"DejaVu Sans Condensed Bold", 11.0, 2.2};
    PrintText(cr, label, "GAIN", gx, gy + 49, Align::Centre, kInk);
    PrintText(cr, label, "LEVEL", lx, ly + 49, Align::Centre, kInk);

    // Product name, and what it is.
    const double nx = 240, ny = 100;
    const TextStyle title{"DejaVu Serif Bold Italic", 46.0, -0.5};
    PrintText(cr, title, "Zerub", nx, ny, Align::Centre, kInk, 1.0, 0.5);
    const TextStyle sub{"DejaVu Sans Condensed Bold", 10.5, 4.0};
    PrintText(cr, sub, "OVERDRIVE", nx, ny + 24, Align::Centre, kInk);

    // The lower face carries print only: bypass lives in the bottom strip, so nothing here may
    // look like a part that moves.
    DriveEmblem(cr, 40, kWidth - 40, kEmblemY, 12);
    const TextStyle tag{"DejaVu Sans Condensed Bold", 7.5, 3.0};
    PrintText(cr, tag, "ANALOGUE DRIVE STAGE", kWidth / 2.0, kEmblemY + 30, Align::Centre, kInkDim);

    BottomPlate(cr);
    MakerMark(cr);

    cairo_destroy(cr);
    return s;
}

// ---------------------------------------------------------------------------------------------
// Knob filmstrip

// One knob frame centred in a kKnobSize square at the origin. Lighting and shadow stay put;
// the fluting and the pointer turn with the angle.
void KnobFrame(cairo_t* cr, double angle) {
    const double c = kKnobSize / 2.0;
    const double skirtR = 26.0, faceR = 20.5, capR = 12.5;

    // Drop shadow, fully faded before the frame's edge so nothing is cut off.
    cairo_pattern_t* shadow =
        cairo_pattern_create_radial(c + 0.6, c + 1.8, 20, c + 0.6, c + 1.8, 28.5);
    cairo_pattern_add_color_stop_rgba(shadow, 0, 0, 0, 0, 0.65);
    cairo_pattern_add_color_stop_rgba(shadow, 0.45, 0, 0, 0, 0.28);
    cairo_pattern_add_color_stop_rgba(shadow, 1, 0, 0, 0, 0);
    cairo_set_source(cr, shadow);
    Circle(cr, c + 0.6, c + 1.8, 28.5);
    cairo_fill(cr);
    cairo_pattern_destroy(shadow);

    // Fluted skirt: a scalloped rim, lit per flute by its direction to the lamp.
    const int flutes = 28;
    const int steps = 720;
    for (int i = 0; i <= steps; ++i) {
        double t = 2 * kPi * i / steps;
        double s = std::sin(flutes * (t - angle) / 2);
        double r = skirtR - 1.1 * s * s;
        double x, y;
        Polar(c, c, r, t, &x, &y);
        if (i == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    cairo_pattern_t* skirt = cairo_pattern_create_linear(c - 18, c - 22, c + 18, c + 22);
    AddStop(skirt, 0, Grey(0.30));
    AddStop(skirt, 1, Grey(0.06));
    cairo_set_source(cr, skirt);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(skirt);
    cairo_save(cr);
    cairo_clip(cr);
    for (int k = 0; k < flutes; ++k) {
        double a = angle + 2 * kPi * (k + 0.5) / flutes;
        double lit = std::cos(a - kLightAngle);
        double x0, y0, x1, y1;
        Polar(c, c, faceR - 0.5, a, &x0, &y0);
        Polar(c, c, skirtR + 1, a, &x1, &y1);
        cairo_move_to(cr, x0, y0);
        cairo_line_to(cr, x1, y1);
        cairo_set_line_width(cr, 1.6);
        if (lit > 0)
            cairo_set_source_rgba(cr, 1, 1, 1, 0.30 * lit);
        else
            cairo_set_source_rgba(cr, 0, 0, 0, -0.35 * lit);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    cairo_set_line_width(cr, 0.7);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
    cairo_stroke(cr);

    // Chamfer between skirt and face.
    cairo_pattern_t* chamfer = cairo_pattern_create_linear(c - 15, c - 15, c + 15, c + 15);
    AddStop(chamfer, 0, Grey(0.50));
    AddStop(chamfer, 1, Grey(0.04));
    Circle(cr, c, c, faceR + 1.2);
    cairo_set_source(cr, chamfer);
    cairo_fill(cr);
    cairo_pattern_destroy(chamfer);

    // Satin black face, domed a little toward the lamp.
    cairo_pattern_t* face = cairo_pattern_create_radial(c - 6, c - 8, 1, c, c, faceR + 2);
    AddStop(face, 0, Grey(0.30));
    AddStop(face, 0.6, Grey(0.13));
    AddStop(face, 1, Grey(0.06));
    Circle(cr, c, c, faceR);
    cairo_set_source(cr, face);
    cairo_fill(cr);
    cairo_pattern_destroy(face);

    // Spun aluminium cap set into the face.
    Circle(cr, c + 0.3, c + 0.6, capR + 0.9);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_fill(cr);
    SpunDisc(cr, c, c, capR, 0.52, 0.42);
    Circle(cr, c, c, capR - 0.3);
    cairo_pattern_t* rim = cairo_pattern_create_linear(c - 10, c - 10, c + 10, c + 10);
    cairo_pattern_add_color_stop_rgba(rim, 0, 1, 1, 1, 0.65);
    cairo_pattern_add_color_stop_rgba(rim, 1, 0, 0, 0, 0.5);
    cairo_set_source(cr, rim);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    cairo_pattern_destroy(rim);

    // Pointer: an engraved groove across the cap, continued as a cream line on the face.
    double x0, y0, x1, y1;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    Polar(c, c, 3.0, angle, &x0, &y0);
    Polar(c, c, capR - 2.2, angle, &x1, &y1);
    cairo_move_to(cr, x0 + 0.5, y0 + 0.6);
    cairo_line_to(cr, x1 + 0.5, y1 + 0.6);
    cairo_set_line_width(cr, 2.2);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    cairo_stroke(cr);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_set_line_width(cr, 2.0);
    cairo_set_source_rgba(cr, 0.06, 0.06, 0.07, 0.95);
    cairo_stroke(cr);
    Polar(c, c, capR + 2.6, angle, &x0, &y0);
    Polar(c, c, skirtR - 1.0, angle, &x1, &y1);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_set_line_width(cr, 3.4);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_stroke(cr);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_set_line_width(cr, 2.3);
    SetRgb(cr, kInk);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

cairo_surface_t* DrawKnobStrip(int scale) {
    cairo_t* cr = nullptr;
    cairo_surface_t* s = ScaledSurface(kKnobSize, kKnobSize * kKnobFrames, scale, &cr);
    for (int f = 0; f < kKnobFrames; ++f) {
        cairo_save(cr);
        cairo_rectangle(cr, 0, f * kKnobSize, kKnobSize, kKnobSize);
        cairo_clip(cr);
        cairo_translate(cr, 0, f * kKnobSize);
        KnobFrame(cr, AngleOfFrame(f, kKnobFrames));
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

// ---------------------------------------------------------------------------------------------
// Bypass switch strip

// One switch frame at the origin. Left, the status LED with its own caption: lit green while the
// effect is working, dark while it is bypassed. Right, past a printed divider, the bypass slide,
// whose thumb covers OFF or ON. The LED never sits beside the word BYPASS, so a lit lamp cannot be
// read as "bypass on".
void SwitchFrame(cairo_t* cr, bool bypassed) {
    const double cy = (kPlateTop + kPlateBottom) / 2 - kSwitchY; // plate centre in the frame
    const double lampX = 21;
    const bool lit = !bypassed;

    // Chrome bezel.
    SoftShadow(cr, lampX + 0.5, cy + 1.2, 4.5, 9, 0.6);
    cairo_pattern_t* bezel = cairo_pattern_create_linear(lampX - 6, cy - 6, lampX + 6, cy + 6);
    AddStop(bezel, 0, Grey(0.92));
    AddStop(bezel, 0.5, Grey(0.55));
    AddStop(bezel, 1, Grey(0.25));
    Circle(cr, lampX, cy, 6.5);
    cairo_set_source(cr, bezel);
    cairo_fill(cr);
    cairo_pattern_destroy(bezel);
    Circle(cr, lampX, cy, 4.9);
    SetRgb(cr, Grey(0.05));
    cairo_fill(cr);

    if (lit) {
        // Glow spilling onto the plate, wider than tall so it stays inside the frame.
        cairo_save(cr);
        cairo_translate(cr, lampX, cy);
        cairo_scale(cr, 1.4, 1.0);
        cairo_pattern_t* glow = cairo_pattern_create_radial(0, 0, 3.5, 0, 0, cy - 0.5);
        cairo_pattern_add_color_stop_rgba(glow, 0, 0.35, 1.0, 0.40, 0.65);
        cairo_pattern_add_color_stop_rgba(glow, 0.4, 0.35, 1.0, 0.40, 0.22);
        cairo_pattern_add_color_stop_rgba(glow, 1, 0.35, 1.0, 0.40, 0);
        cairo_set_source(cr, glow);
        Circle(cr, 0, 0, cy - 0.5);
        cairo_fill(cr);
        cairo_pattern_destroy(glow);
        cairo_restore(cr);
    }
    cairo_pattern_t* lens = cairo_pattern_create_radial(lampX - 1.2, cy - 1.4, 0.3, lampX, cy, 4.3);
    if (lit) {
        cairo_pattern_add_color_stop_rgb(lens, 0, 0.92, 1.0, 0.92);
        cairo_pattern_add_color_stop_rgb(lens, 0.35, 0.40, 1.0, 0.45);
        cairo_pattern_add_color_stop_rgb(lens, 1, 0.04, 0.55, 0.14);
    } else {
        cairo_pattern_add_color_stop_rgb(lens, 0, 0.20, 0.26, 0.21);
        cairo_pattern_add_color_stop_rgb(lens, 0.5, 0.08, 0.12, 0.09);
        cairo_pattern_add_color_stop_rgb(lens, 1, 0.03, 0.05, 0.04);
    }
    Circle(cr, lampX, cy, 4.2);
    cairo_set_source(cr, lens);
    cairo_fill(cr);
    cairo_pattern_destroy(lens);
    // Specular dot on the lens.
    Circle(cr, lampX - 1.4, cy - 1.6, 0.9);
    cairo_set_source_rgba(cr, 1, 1, 1, lit ? 0.8 : 0.35);
    cairo_fill(cr);

    // The LED's caption, bright while it is lit.
    const TextStyle small{"DejaVu Sans Condensed Bold", 8.5, 1.2};
    PrintText(cr, small, "ACTIVE", 32, cy + 3.1, Align::Left, lit ? kInk : Grey(0.40), 1.0, 0.0);

    // Printed divider between the LED and the switch.
    const double dx = 80.5;
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, dx, cy - 7);
    cairo_line_to(cr, dx, cy + 7);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.9);
    cairo_stroke(cr);
    cairo_move_to(cr, dx + 1, cy - 7);
    cairo_line_to(cr, dx + 1, cy + 7);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.08);
    cairo_stroke(cr);

    const TextStyle caption{"DejaVu Sans Condensed Bold", 9.5, 1.6};
    PrintText(cr, caption, "BYPASS", 89, cy + 3.4, Align::Left, kInk, 1.0, 0.0);

    // Slide: a recessed track with OFF and ON halves.
    const double tx0 = 140, tx1 = 201, ty0 = cy - 8.5, ty1 = cy + 8.5, tr = 4.5;
    RoundedRect(cr, tx0, ty0 + 0.8, tx1, ty1 + 0.8, tr);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
    cairo_fill(cr);
    RoundedRect(cr, tx0, ty0, tx1, ty1, tr);
    cairo_pattern_t* track = cairo_pattern_create_linear(0, ty0, 0, ty1);
    AddStop(track, 0, Grey(0.0));
    AddStop(track, 1, Grey(0.10));
    cairo_set_source(cr, track);
    cairo_fill(cr);
    cairo_pattern_destroy(track);

    const TextStyle state{"DejaVu Sans Condensed Bold", 8.5, 0.8};
    const double mid = (tx0 + tx1) / 2;
    const double th0 = bypassed ? mid : tx0 + 1.5, th1 = bypassed ? tx1 - 1.5 : mid;
    // Label of the uncovered half, dim.
    PrintText(cr, state, bypassed ? "OFF" : "ON", bypassed ? (tx0 + mid) / 2 : (mid + tx1) / 2,
              cy + 3.0, Align::Centre, Grey(0.42), 1.0, 0.0);
    // Thumb.
    SoftShadow(cr, (th0 + th1) / 2, cy + 1.5, 4, 9, 0.5);
    RoundedRect(cr, th0, ty0 + 1.5, th1, ty1 - 1.5, tr - 1.2);
    cairo_pattern_t* thumb = cairo_pattern_create_linear(0, ty0, 0, ty1);
    if (bypassed) {
        AddStop(thumb, 0, {1.0, 0.80, 0.36});
        AddStop(thumb, 1, {0.80, 0.52, 0.12});
    } else {
        AddStop(thumb, 0, Mix(kInk, Grey(1.0), 0.4));
        AddStop(thumb, 1, Mix(kInk, Grey(0.45), 0.4));
    }
    cairo_set_source(cr, thumb);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(thumb);
    cairo_set_line_width(cr, 0.8);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_stroke(cr);
    PrintText(cr, state, bypassed ? "ON" : "OFF", (th0 + th1) / 2, cy + 3.0, Align::Centre,
              Grey(0.10), 1.0, 0.0);
}

cairo_surface_t* DrawSwitchStrip(int scale) {
    cairo_t* cr = nullptr;
    cairo_surface_t* s = ScaledSurface(kSwitchW, kSwitchH * kSwitchFrames, scale, &cr);
    for (int f = 0; f < kSwitchFrames; ++f) {
        cairo_save(cr);
        cairo_rectangle(cr, 0, f * kSwitchH, kSwitchW, kSwitchH);
        cairo_clip(cr);
        cairo_translate(cr, 0, f * kSwitchH);
        SwitchFrame(cr, f == 1);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

// ---------------------------------------------------------------------------------------------
// Quality switch strip

// One frame of the quality switch at the origin: a small square key printed "HQ", dark in
// Standard, its caption lit amber in HQ.
void HQFrame(cairo_t* cr, bool hq) {
    const double cy = (kPlateTop + kPlateBottom) / 2 - kHQY;
    const double x0 = 2.5, x1 = kHQW - 2.5, y0 = cy - 7.5, y1 = cy + 7.5, r = 3.0;
    // Lit lower lip of the key's recess, then the key itself.
    RoundedRect(cr, x0 - 0.5, y0 + 0.3, x1 + 0.5, y1 + 1.0, r + 0.5);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.10);
    cairo_fill(cr);
    RoundedRect(cr, x0, y0, x1, y1, r);
    cairo_pattern_t* face = cairo_pattern_create_linear(0, y0, 0, y1);
    if (hq) {
        AddStop(face, 0, {0.30, 0.20, 0.08});
        AddStop(face, 1, {0.16, 0.10, 0.04});
    } else {
        AddStop(face, 0, Grey(0.22));
        AddStop(face, 1, Grey(0.11));
    }
    cairo_set_source(cr, face);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(face);
    cairo_set_line_width(cr, 0.8);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.8);
    cairo_stroke(cr);
    if (hq) {
        // The caption's glow inside the key.
        cairo_save(cr);
        RoundedRect(cr, x0, y0, x1, y1, r);
        cairo_clip(cr);
        cairo_pattern_t* glow =
            cairo_pattern_create_radial(kHQW / 2.0, cy, 1.0, kHQW / 2.0, cy, 9.0);
        cairo_pattern_add_color_stop_rgba(glow, 0, 1.0, 0.72, 0.25, 0.45);
        cairo_pattern_add_color_stop_rgba(glow, 1, 1.0, 0.72, 0.25, 0.0);
        cairo_set_source(cr, glow);
        cairo_paint(cr);
        cairo_pattern_destroy(glow);
        cairo_restore(cr);
    }
    const TextStyle caption{"DejaVu Sans Condensed Bold", 7.5, 0.4};
    PrintText(cr, caption, "HQ", kHQW / 2.0, cy + 2.7, Align::Centre,
              hq ? Rgb{1.0, 0.80, 0.36} : Grey(0.45), 1.0, 0.0);
}

cairo_surface_t* DrawHQStrip(int scale) {
    cairo_t* cr = nullptr;
    cairo_surface_t* s = ScaledSurface(kHQW, kHQH * kSwitchFrames, scale, &cr);
    for (int f = 0; f < kSwitchFrames; ++f) {
        cairo_save(cr);
        cairo_rectangle(cr, 0, f * kHQH, kHQW, kHQH);
        cairo_clip(cr);
        cairo_translate(cr, 0, f * kHQH);
        HQFrame(cr, f == 1);
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    return s;
}

// ---------------------------------------------------------------------------------------------
// Preview: the editor's straight-alpha "over" of one frame of each control on the background.

// Straight-alpha RGBA as the PNG holds it, from a premultiplied cairo pixel (cairo's own rule).
void Unpremultiply(uint32_t p, int* r, int* g, int* b, int* a) {
    *a = int(p >> 24);
    if (*a == 0) {
        *r = *g = *b = 0;
        return;
    }
    auto un = [&](int c) { return (c * 255 + *a / 2) / *a; };
    *r = un(int((p >> 16) & 255));
    *g = un(int((p >> 8) & 255));
    *b = un(int(p & 255));
}

void BlitOver(cairo_surface_t* dst, cairo_surface_t* src, int frameH, int frame, int x, int y) {
    cairo_surface_flush(dst);
    cairo_surface_flush(src);
    unsigned char* dd = cairo_image_surface_get_data(dst);
    unsigned char* sd = cairo_image_surface_get_data(src);
    int ds = cairo_image_surface_get_stride(dst), ss = cairo_image_surface_get_stride(src);
    int w = cairo_image_surface_get_width(src);
    for (int j = 0; j < frameH; ++j) {
        auto* srow = reinterpret_cast<uint32_t*>(sd + (frame * frameH + j) * ss);
        auto* drow = reinterpret_cast<uint32_t*>(dd + (y + j) * ds);
        for (int i = 0; i < w; ++i) {
            int r, g, b, a;
            Unpremultiply(srow[i], &r, &g, &b, &a);
            uint32_t d = drow[x + i];
            auto over = [&](int s, int shift) {
                int dc = int((d >> shift) & 255);
                return uint32_t((s * a + dc * (255 - a) + 127) / 255) << shift;
            };
            drow[x + i] = 0xff000000u | over(r, 16) | over(g, 8) | over(b, 0);
        }
    }
    cairo_surface_mark_dirty(dst);
}

// A nearest-neighbour enlargement of the part (x, y, w, h) of src, for close inspection.
cairo_surface_t* Zoom(cairo_surface_t* src, int x, int y, int w, int h, int zoom) {
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w * zoom, h * zoom);
    cairo_t* cr = cairo_create(out);
    cairo_scale(cr, zoom, zoom);
    cairo_set_source_surface(cr, src, -x, -y);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_destroy(cr);
    return out;
}

bool Write(cairo_surface_t* s, const std::string& path) {
    cairo_status_t st = cairo_surface_write_to_png(s, path.c_str());
    if (st != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "zerub-draw-artwork: cannot write %s: %s\n", path.c_str(),
                     cairo_status_to_string(st));
        return false;
    }
    return true;
}

int Usage() {
    std::fprintf(stderr, "usage: zerub-draw-artwork [OUT_DIR] [--preview FILE [--knob-frame N] "
                         "[--switch-frame N] [--hq-frame N] [--zoom N] [--crop X Y W H]]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string outDir, preview;
    int knobFrame = kKnobFrames / 2, switchFrame = 0, hqFrame = 0, zoom = 1;
    int crop[4] = {0, 0, kWidth, kHeight};
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool hasValue = i + 1 < argc;
        if (a == "--preview" && hasValue)
            preview = argv[++i];
        else if (a == "--knob-frame" && hasValue)
            knobFrame = std::clamp(std::atoi(argv[++i]), 0, kKnobFrames - 1);
        else if (a == "--switch-frame" && hasValue)
            switchFrame = std::clamp(std::atoi(argv[++i]), 0, kSwitchFrames - 1);
        else if (a == "--hq-frame" && hasValue)
            hqFrame = std::clamp(std::atoi(argv[++i]), 0, kSwitchFrames - 1);
        else if (a == "--zoom" && hasValue)
            zoom = std::clamp(std::atoi(argv[++i]), 1, 8);
        else if (a == "--crop" && i + 4 < argc) {
            for (int& v : crop)
                v = std::atoi(argv[++i]);
            crop[0] = std::clamp(crop[0], 0, kWidth - 1);
            crop[1] = std::clamp(crop[1], 0, kHeight - 1);
            crop[2] = std::clamp(crop[2], 1, kWidth - crop[0]);
            crop[3] = std::clamp(crop[3], 1, kHeight - crop[1]);
        } else if (!a.empty() && a[0] != '-' && outDir.empty())
            outDir = a;
        else
            return Usage();
    }
    if (outDir.empty() && preview.empty()) return Usage();

    cairo_surface_t* bg = DrawBackground(1);
    cairo_surface_t* knob = DrawKnobStrip(1);
    cairo_surface_t* sw = DrawSwitchStrip(1);
    cairo_surface_t* hq = DrawHQStrip(1);
    bool ok = true;
    // The sets up to 4x, so that the editor only ever scales artwork down: a factor between two
    // sets is drawn from the larger one.
    for (int scale = 1; ok && !outDir.empty() && scale <= kLargestSet; ++scale) {
        const std::string suffix = scale == 1 ? ".png" : "@" + std::to_string(scale) + "x.png";
        cairo_surface_t* b = scale == 1 ? bg : DrawBackground(scale);
        cairo_surface_t* k = scale == 1 ? knob : DrawKnobStrip(scale);
        cairo_surface_t* w = scale == 1 ? sw : DrawSwitchStrip(scale);
        cairo_surface_t* q = scale == 1 ? hq : DrawHQStrip(scale);
        // Both knobs share one drawing: the scale and the caption on the face tell them apart.
        ok = Write(b, outDir + "/BG" + suffix) && Write(k, outDir + "/GAIN" + suffix) &&
             Write(k, outDir + "/LEVEL" + suffix) && Write(w, outDir + "/BYPASS" + suffix) &&
             Write(q, outDir + "/HQ" + suffix);
        if (scale != 1) {
            cairo_surface_destroy(b);
            cairo_surface_destroy(k);
            cairo_surface_destroy(w);
            cairo_surface_destroy(q);
        }
    }
    if (ok && !preview.empty()) {
        cairo_surface_t* view = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
        cairo_t* cr = cairo_create(view);
        cairo_set_source_surface(cr, bg, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        BlitOver(view, knob, kKnobSize, knobFrame, kGainX, kGainY);
        BlitOver(view, knob, kKnobSize, knobFrame, kLevelX, kLevelY);
        BlitOver(view, sw, kSwitchH, switchFrame, kSwitchX, kSwitchY);
        BlitOver(view, hq, kHQH, hqFrame, kHQX, kHQY);
        cairo_surface_t* big = Zoom(view, crop[0], crop[1], crop[2], crop[3], zoom);
        ok = Write(big, preview);
        cairo_surface_destroy(big);
        cairo_surface_destroy(view);
    }
    cairo_surface_destroy(hq);
    cairo_surface_destroy(sw);
    cairo_surface_destroy(knob);
    cairo_surface_destroy(bg);
    return ok ? 0 : 1;
}
