// GDI-style drawing over cairo image surfaces and Pango text.
//
// Memory contexts own a zeroed pixel block in the raster library's pixel word (0xAARRGGBB,
// blue in the lowest byte; cairo ignores the top byte when it reads and sets it to 0xFF where
// it draws), row 0 on top, rows w * 4 bytes apart, starting at a 64-byte aligned address. Fonts are
// Pango font descriptions resolved through fontconfig; text is laid out and drawn with pangocairo.
//
// Colours taken and returned by this layer are 0x00RRGGBB (the pixel word without alpha).
//
// Handles: contexts and objects come from pools shared by all threads and guarded by one
// mutex; a released handle is rejected by every call (nothing is done, 0 or null returned).
// Object handle values below 5 are pseudo-handles (1 no pen, 2 no brush, 3 no font) that
// SelectObject accepts to empty a slot. A given context must be used by one thread at a time;
// Pango and fontconfig are reached under one internal lock, so fonts and text calls may come
// from any thread.
//
// Depends on containers, cairo, Pango and fontconfig; the raster library builds on it.
#pragma once

#include "gdi/swell-types.h"

// Object types, which are also the pseudo-handle values of empty slots.
#define SWELL_OBJ_PEN 1
#define SWELL_OBJ_BRUSH 2
#define SWELL_OBJ_FONT 3
#define SWELL_OBJ_BITMAP 4

// Stock objects for GetStockObject: the null pen and the null brush. Their indices follow the
// object types above rather than Windows' stock numbering.
#define NULL_PEN 1
#define NULL_BRUSH 2

// Background modes for SetBkMode: OPAQUE paints the text's line boxes first.
#define TRANSPARENT 0
#define OPAQUE 1

// Pen styles.
#define PS_SOLID 0

// Font weights and qualities (Windows values).
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define DEFAULT_CHARSET 1
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_PITCH 0

// DrawText format word (Windows values).
#define DT_TOP 0x0
#define DT_LEFT 0x0
#define DT_CENTER 0x1
#define DT_RIGHT 0x2
#define DT_VCENTER 0x4
#define DT_BOTTOM 0x8
#define DT_SINGLELINE 0x20
#define DT_NOCLIP 0x100
#define DT_CALCRECT 0x400
#define DT_NOPREFIX 0x800

#define LF_FACESIZE 32

typedef struct tagLOGFONT {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    CHAR lfFaceName[LF_FACESIZE];
} LOGFONT;

typedef struct tagTEXTMETRIC {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    CHAR tmFirstChar;
    CHAR tmLastChar;
    CHAR tmDefaultChar;
    CHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
} TEXTMETRIC;

// --- Memory contexts ---

// A w x h memory context with zeroed pixels and black text; null when either size is not
// positive, too large for the platform, or memory runs out. The reference context is ignored.
HDC SWELL_CreateMemContext(HDC reference, int w, int h);
// First pixel of a memory context (64-byte aligned), or null.
void* SWELL_GetCtxFrameBuffer(HDC ctx);
// The cairo context behind ctx (a cairo_t*), or null.
void* SWELL_GetCtxGC(HDC ctx);
// Releases the context, its pixels and its text resources.
void SWELL_DeleteGfxContext(HDC ctx);

// --- Objects ---

HPEN CreatePen(int style, int width, int color);
HPEN CreatePenAlpha(int style, int width, int color, float alpha);
HBRUSH CreateSolidBrush(int color);
HBRUSH CreateSolidBrushAlpha(int color, float alpha);
// Font of |height| pixels (|width| when height is 0; sizes outside 2..8192 become 10), bold
// from weight 700, rotated by orientation / 10 degrees, antialiased unless quality is
// NONANTIALIASED_QUALITY. Unknown faces fall back through fontconfig's substitution.
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight, char italic,
                 char underline, char strikeout, char charset, char outprecision,
                 char clipprecision, char quality, char pitchandfamily, const char* face);
HFONT CreateFontIndirect(const LOGFONT* lf);
// The stock null pen or null brush; null for any other index. Stock objects are never deleted.
HGDIOBJ GetStockObject(int which);
// Adds an owner to obj: the next DeleteObject only drops that owner. Returns obj (null when
// obj is not a real object).
HGDIOBJ SWELL_CloneGDIObject(HGDIOBJ obj);
void DeleteObject(HGDIOBJ obj);
// Puts a pen, brush or font into its slot and returns the previous occupant (or the
// pseudo-handle of its type when the slot was empty); null for an invalid context or object.
HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj);

// --- Colours and text ---

void SetTextColor(HDC ctx, int color);
int GetTextColor(HDC ctx);
void SetBkColor(HDC ctx, int color);
void SetBkMode(HDC ctx, int mode);
// Fills tm from the selected font (or the default font). Returns 1, or 0 (with tm holding
// fallback values when it is not null) for a null record or an invalid context.
int GetTextMetrics(HDC ctx, TEXTMETRIC* tm);
// Copies the face name of the selected font into buf; returns its length.
int GetTextFace(HDC ctx, int nCount, char* buf);
// Measures (DT_CALCRECT) or draws UTF-8 text in rect; returns the text height plus one, or 0
// for empty or unconvertible text.
int SWELL_DrawText(HDC ctx, const char* text, int len, RECT* rect, int format);

// --- Drawing and clipping ---

// Fills rect with the brush's colour; a null brush draws nothing.
void SWELL_FillRect(HDC ctx, const RECT* rect, HBRUSH brush);
// Pushes the clip state; SetClipRegion narrows the current clip to rect; PopClipRegion
// restores the state of the matching push (unmatched pops are ignored).
void SWELL_PushClipRegion(HDC ctx);
void SWELL_SetClipRegion(HDC ctx, const RECT* rect);
void SWELL_PopClipRegion(HDC ctx);
