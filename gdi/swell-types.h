// Windows-style value types shared by the GDI layer and the raster library.
//
// The layouts match the 32-bit Windows records (LONG is 32 bits there, so the fields are int
// here), which lets code written against the Windows drawing API compile unchanged.
#pragma once

#include <climits>
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned int DWORD;
typedef unsigned int UINT;
typedef int LONG;
typedef char CHAR;
typedef DWORD COLORREF;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// Rectangle in pixels; right and bottom are exclusive. The raster library declares the same
// record under the same guard, so either header may come first.
#ifndef ZERUB_RECT_DEFINED
#define ZERUB_RECT_DEFINED
struct RECT {
    int left, top, right, bottom;
};
#endif
typedef RECT* LPRECT;

typedef struct tagPOINT {
    int x, y;
} POINT, *LPPOINT;

struct HDC__;
struct HGDIOBJ__;
typedef HDC__* HDC;
typedef HGDIOBJ__* HGDIOBJ;
typedef HGDIOBJ__* HFONT;
typedef HGDIOBJ__* HPEN;
typedef HGDIOBJ__* HBRUSH;
typedef HGDIOBJ__* HBITMAP;

// A 64-bit sum as an int, held at the int range's ends: rectangle edges computed from
// coordinates and text extents near the limits stay ordered instead of wrapping.
inline int SaturateInt(long long v) {
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}
