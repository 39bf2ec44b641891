// Image resources from a loaded bundle, through Core Foundation. Apart from the rest of the
// resources so that an editor that reads its images from a folder (the LV2 UI) needs no
// platform library.
#include "editor/IGraphicsResources.h"

#include "raster/lice.h"

#include <CoreFoundation/CoreFoundation.h>

LICE_IBitmap* LoadImgFromResourceOSX(const char* bundleId, const char* name) {
    char base[256];
    if (!bundleId || !ImageResourceBaseName(name, base, sizeof(base))) return nullptr;
    CFStringRef idStr = CFStringCreateWithCString(nullptr, bundleId, kCFStringEncodingUTF8);
    CFStringRef baseStr = CFStringCreateWithCString(nullptr, base, kCFStringEncodingUTF8);
    CFBundleRef bundle = idStr ? CFBundleGetBundleWithIdentifier(idStr) : nullptr;
    CFURLRef url = bundle && baseStr
                       ? CFBundleCopyResourceURL(bundle, baseStr, CFSTR("png"), nullptr)
                       : nullptr;
    char path[4096];
    const bool havePath =
        url &&
        CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path), sizeof(path)) &&
        path[0];
    if (url) CFRelease(url);
    if (baseStr) CFRelease(baseStr);
    if (idStr) CFRelease(idStr);
    return havePath ? LICE_LoadPNG(path, nullptr) : nullptr;
}
