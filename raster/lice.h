// The raster library: every public LICE_ name.
//
// Bitmaps (lice_bitmap.h) hold 0xAARRGGBB pixels; every operation below reaches pixels only
// through LICE_IBitmap, clips against every bitmap it touches, honours isFlipped() and draws
// nothing for null bitmaps, null bits, empty or fully clipped areas and zero weight. Colours use
// the pixel word; alpha and mode follow lice_combine.h. Nothing here locks: a bitmap is drawn
// into by one thread at a time (the editor's drawing thread). Failures are silent (drawing) or
// null (loading); nothing throws.
//
// Depends on containers and libpng; system bitmaps and the cached font build on the GDI layer.
#pragma once

#include "raster/lice_bitmap.h"
#include "raster/lice_combine.h"

#if __has_include("raster/lice_sysbitmap.h")
#include "raster/lice_sysbitmap.h"
#endif
#if __has_include("raster/lice_cachedfont.h")
#include "raster/lice_cachedfont.h"
#endif

// ---- Blits and fills ------------------------------------------------------------------------

// Draws srcrect of src (left, top, right, bottom; right and bottom exclusive; null = all of src)
// with its top-left at (dstx, dsty). Copy at alpha 1.0 moves rows verbatim, alpha included.
void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, const RECT* srcrect,
               float alpha, int mode);
void LICE_Blit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch, float alpha, int mode);

// Draws the source area (srcx, srcy, srcw, srch; fractional) scaled into the destination area;
// a negative dstw or dsth mirrors. LICE_COMBINE_FILTER_BILINEAR filters (box-averaging when
// shrinking by 1.7 or more in both directions).
void LICE_ScaledBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                     float srcx, float srcy, float srcw, float srch, float alpha, int mode);

// As LICE_ScaledBlit, rotated by angle (radians) about the source area's centre offset by
// (rotxcent, rotycent). Destination pixels that map outside the source window stay untouched.
void LICE_RotatedBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                      float srcx, float srcy, float srcw, float srch, float angle,
                      bool cliptosourcerect, float alpha, int mode, float rotxcent = 0.0f,
                      float rotycent = 0.0f);

// A walk over the destination rectangle driven by derivatives: destination pixel (dstx, dsty)
// samples source position (srcx, srcy); one column to the right adds (dsdx, dtdx), one row down
// adds (dsdy, dtdy), and each row down changes the per-column step by (dsdxdy, dtdxdy). With
// cliptosourcerect only the source rectangle (srcx, srcy, srcw, srch) is sampled, else all of
// src; pixels sampling outside stay untouched. The filter and source-alpha bits of mode work as
// in LICE_RotatedBlit, of which this is the general form.
void LICE_DeltaBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                    float srcx, float srcy, float srcw, float srch, double dsdx, double dtdx,
                    double dsdy, double dtdy, double dsdxdy, double dtdxdy, bool cliptosourcerect,
                    float alpha, int mode);
// As LICE_DeltaBlit with the alpha walking too: alpha at the first pixel, dadx per column, dady
// per row, dadxdy the per-row change of dadx. Each pixel's weight is held to 0..256.
void LICE_DeltaBlitAlpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, float srcx, float srcy, float srcw, float srch, double dsdx,
                         double dtdx, double dsdy, double dtdy, double dsdxdy, double dtdxdy,
                         bool cliptosourcerect, float alpha, int mode, double dadx, double dady,
                         double dadxdy);
// Mesh warp: srcpoints holds div_w x div_h source positions (x, y pairs, row by row) for a grid
// laid evenly over the destination rectangle, corners included (div_w, div_h >= 2). Each cell
// is drawn as a bilinear patch between its four corners. The 2Alpha form takes (x, y, alpha)
// per point and interpolates the alpha as well.
void LICE_TransformBlit(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                        int dsth, const float* srcpoints, int div_w, int div_h, float alpha,
                        int mode);
void LICE_TransformBlit2(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                         int dsth, const double* srcpoints, int div_w, int div_h, float alpha,
                         int mode);
void LICE_TransformBlit2Alpha(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int dstw,
                              int dsth, const double* srcpoints, int div_w, int div_h, int mode);

// Solid rectangle. LICE_COMBINE_USE_SOURCE_ALPHA multiplies alpha by the colour's alpha / 255.
void LICE_FillRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color,
                   float alpha = 1.0f, int mode = 0);
// Every visible pixel becomes color.
void LICE_Clear(LICE_IBitmap* dest, LICE_pixel color);
// Each pixel of the clipped rectangle becomes (pixel & mask) | orbits.
void LICE_ClearRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel mask = 0,
                    LICE_pixel orbits = 0);
void LICE_PutPixel(LICE_IBitmap* dest, int x, int y, LICE_pixel color, float alpha, int mode);
// A 3 x 3 blur (centre 1/2, each neighbour 1/8) of the source area onto dest; dest may be src.
void LICE_Blur(LICE_IBitmap* dest, LICE_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
               int srcw, int srch);

// Linear gradient: channels in 0..1 at the top-left, plus per-column (d*dx) and per-row (d*dy)
// increments; written with the clamped operations.
void LICE_GradRect(LICE_IBitmap* dest, int x, int y, int w, int h, float ir, float ig, float ib,
                   float ia, float drdx, float dgdx, float dbdx, float dadx, float drdy, float dgdy,
                   float dbdy, float dady, int mode);
// Each channel becomes clamp(channel * scale + add), add in 0..255 units.
void LICE_MultiplyAddRect(LICE_IBitmap* dest, int x, int y, int w, int h, float rsc, float gsc,
                          float bsc, float asc, float radd, float gadd, float badd, float aadd);
// Calls procFunc once for each pixel of the clipped rectangle.
void LICE_ProcessRect(LICE_IBitmap* dest, int x, int y, int w, int h,
                      void (*procFunc)(LICE_pixel* pixel, void* ctx), void* ctx);
// Pixels whose colour (low 24 bits) equals color get alpha 0, all others alpha 255.
void LICE_SetAlphaFromColorMask(LICE_IBitmap* dest, LICE_pixel color);
// Fills the region around (x, y) whose pixels match the seed under comparemask: each becomes
// newcolor | (pixel & keepmask).
void LICE_SimpleFill(LICE_IBitmap* dest, int x, int y, LICE_pixel newcolor,
                     LICE_pixel comparemask = 0x00ffffff, LICE_pixel keepmask = 0);
// dest's top-left becomes src reduced by half, each pixel the average of a 2 x 2 block.
void LICE_HalveBlitAA(LICE_IBitmap* dest, LICE_IBitmap* src);

// ---- Shapes ---------------------------------------------------------------------------------

// Every pixel of the segment, both ends included, is written exactly once.
void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha,
               int mode, bool aa);
// Outline covering w + 1 by h + 1 pixels.
void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha,
                   int mode);
void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                 int mode, bool aa);
void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                     int mode, bool aa);
// Angles in radians, 0 pointing up and increasing clockwise.
void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle,
              LICE_pixel color, float alpha, int mode, bool aa);
void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius,
                    LICE_pixel color, float alpha, int mode, bool aa);
// Row y1 spans x1a..x1b, row y2 spans x2a..x2b, both ends inclusive.
void LICE_FillTrapezoid(LICE_IBitmap* dest, int x1a, int x1b, int y1, int x2a, int x2b, int y2,
                        LICE_pixel color, float alpha, int mode);
void LICE_FillTriangle(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3,
                       LICE_pixel color, float alpha, int mode);
void LICE_FillConvexPolygon(LICE_IBitmap* dest, const int* x, const int* y, int npoints,
                            LICE_pixel color, float alpha, int mode);
// A FillRect of the inner rectangle in bgcolor and a DrawRect outline of w x h in fgcolor.
void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel bgcolor,
                       LICE_pixel fgcolor, float alpha, int mode);
// A line between float positions, rounded to the pixels they fall in.
void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_pixel color,
                float alpha, int mode, bool aa);
// Clips a float segment to [xlo, xhi] x [ylo, yhi]; false when nothing is left.
bool LICE_ClipFLine(float* x1, float* y1, float* x2, float* y2, float xlo, float ylo, float xhi,
                    float yhi);
// Dashes of pxon pixels with gaps of pxoff pixels along the major axis.
void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff,
                     LICE_pixel color, float alpha, int mode, bool aa);
// Bezier outlines, flattened into segments no further than tol pixels from the curve; the
// joints between segments are written once.
void LICE_DrawQBezier(LICE_IBitmap* dest, double xstart, double ystart, double xctl, double yctl,
                      double xend, double yend, LICE_pixel color, float alpha, int mode, bool aa,
                      double tol = 0.25);
void LICE_DrawCBezier(LICE_IBitmap* dest, double xstart, double ystart, double xctl1, double yctl1,
                      double xctl2, double yctl2, double xend, double yend, LICE_pixel color,
                      float alpha, int mode, bool aa, double tol = 0.25);
// Fills the region between a cubic Bezier and the row yfill (LICE_FillCBezierX: the column
// xfill), closed by straight edges from the curve's ends; pixels whose centres lie inside (by
// the non-zero rule) are written once. With aa the edge pixels are weighted by their coverage.
void LICE_FillCBezier(LICE_IBitmap* dest, double xstart, double ystart, double xctl1, double yctl1,
                      double xctl2, double yctl2, double xend, double yend, int yfill,
                      LICE_pixel color, float alpha, int mode, bool aa = false, double tol = 0.25);
void LICE_FillCBezierX(LICE_IBitmap* dest, double xstart, double ystart, double xctl1, double yctl1,
                       double xctl2, double yctl2, double xend, double yend, int xfill,
                       LICE_pixel color, float alpha, int mode, bool aa = false, double tol = 0.25);
// Clips the segment to [xlo, xhi) x [ylo, yhi); false when nothing is left.
bool LICE_ClipLine(int* x1, int* y1, int* x2, int* y2, int xlo, int ylo, int xhi, int yhi);
// Stamps a w x h map of 8-bit coverage; LICE_DrawGlyphEx takes the map's row span (negative
// for a bottom-up map).
void LICE_DrawGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                    const LICE_pixel_chan* alphas, int w, int h, float alpha, int mode);
void LICE_DrawGlyphEx(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                      const LICE_pixel_chan* alphas, int w, int span, int h, float alpha, int mode);

// Stamps a 1-bit map of w x h pixels, rows of (w + 7) / 8 bytes, the most significant bit
// leftmost: each set bit writes the colour at the full weight of alpha (the whole-word mixes of
// fills at 0.25, 0.5, 0.75 and 1.0 in copy mode); clear bits leave the pixel.
void LICE_DrawMonoGlyph(LICE_IBitmap* dest, int x, int y, LICE_pixel color,
                        const unsigned char* bits, int w, int h, float alpha, int mode);

// ---- PNG ------------------------------------------------------------------------------------

// Decodes a PNG into straight-alpha pixel words. With bmp null a new LICE_MemBitmap is returned
// (owned by the caller); otherwise bmp is resized, filled and returned. Null on any failure
// (bmp may then have been resized and partly written). Safe to call from several threads on
// different bitmaps.
LICE_IBitmap* LICE_LoadPNG(const char* filename, LICE_IBitmap* bmp = nullptr);
LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int len, LICE_IBitmap* bmp = nullptr);
// Encodes the visible pixels as 8-bit RGBA (straight alpha, the top row first). False, with no
// file left behind, on any failure: no bitmap, an empty one or one beyond 16384 pixels a side,
// or a file that cannot be written.
bool LICE_WritePNG(const char* filename, LICE_IBitmap* bmp);
// Loads name from the main bundle's Contents/Resources folder; null until the platform runtime
// has set the bundle lookup (it writes the bundle folder, NUL-terminated, into at most bufsize
// bytes and returns false when there is none).
LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bmp = nullptr);
void LICE_SetMainBundlePathFunc(bool (*fn)(char* buf, int bufsize));
// Always null on this platform.
LICE_IBitmap* LICE_LoadPNGFromResource(void* hInst, const char* resid, LICE_IBitmap* bmp = nullptr);

// The image loader registry: one record per format, pushed at start-up.
struct LICE_ImageLoaderRec {
    LICE_IBitmap* (*loadfunc)(const char* filename, bool checkFileName, LICE_IBitmap* bmpbase);
    const char* (*get_extlist)(); // double-NUL-terminated description / pattern pairs
    LICE_ImageLoaderRec* _next;
};
extern LICE_ImageLoaderRec* LICE_ImageLoader_list;
