// Basic scalar types of the macOS C interfaces, with their macOS sizes on a 64-bit target.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;

typedef float Float32;
typedef double Float64;

typedef unsigned char Boolean;
typedef UInt8 Byte;
typedef SInt8 SignedByte;
typedef UInt16 UniChar;
typedef UInt32 UTF32Char;
typedef UInt16 UTF16Char;
typedef UInt8 UTF8Char;

typedef char* Ptr;
typedef Ptr* Handle;

typedef SInt16 OSErr;
typedef SInt32 OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef FourCharCode ResType;

typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];
typedef unsigned char* StringPtr;
typedef const unsigned char* ConstStringPtr;
typedef const unsigned char* ConstStr255Param;

// Packed version number. The byte order of the fields follows the machine's, so that the record
// read as a UInt32 is majorRev << 24 | minorAndBugRev << 16 | stage << 8 | nonRelRev.
typedef struct NumVersion {
#if defined(__BIG_ENDIAN__) || (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
    UInt8 majorRev;
    UInt8 minorAndBugRev;
    UInt8 stage;
    UInt8 nonRelRev;
#else
    UInt8 nonRelRev;
    UInt8 stage;
    UInt8 minorAndBugRev;
    UInt8 majorRev;
#endif
} NumVersion;

typedef struct Float32Point {
    Float32 x;
    Float32 y;
} Float32Point;

enum { noErr = 0 };

// General status codes shared by every framework.
enum {
    paramErr = -50,
    memFullErr = -108,
    unimpErr = -4,
    fnfErr = -43,
    nilHandleErr = -109,
};

#ifdef __cplusplus
}
#endif
