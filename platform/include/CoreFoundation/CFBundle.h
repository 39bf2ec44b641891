// CFBundle: a folder Name.ext/Contents/ holding Info.plist, MacOS/<executable> and Resources/.
//
// The main bundle is the one around the running program (Foo.app/Contents/MacOS/foo), or, for a
// program outside any bundle, its own folder, with no identifier. Every component bundle the
// component services have found is known by its CFBundleIdentifier as well.
#pragma once

#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

CF_EXTERN_C_BEGIN

typedef struct __CFBundle* CFBundleRef;

CF_EXPORT const CFStringRef kCFBundleInfoDictionaryVersionKey;
CF_EXPORT const CFStringRef kCFBundleExecutableKey;
CF_EXPORT const CFStringRef kCFBundleIdentifierKey;
CF_EXPORT const CFStringRef kCFBundleVersionKey;
CF_EXPORT const CFStringRef kCFBundleDevelopmentRegionKey;
CF_EXPORT const CFStringRef kCFBundleNameKey;

// Get functions: the bundle lives as long as the process; the caller does not release it.
CF_EXPORT CFBundleRef CFBundleGetMainBundle(void);
CF_EXPORT CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);
// The known bundle at that location, or a new one; NULL when the folder does not exist.
CF_EXPORT CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);

CF_EXPORT CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);
// The parsed Contents/Info.plist; an empty dictionary when the bundle has none or it is broken.
CF_EXPORT CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
CF_EXPORT CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);

CF_EXPORT CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CF_EXPORT CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
// Contents/Resources/[subDirName/]resourceName[.resourceType] when that file exists, else NULL.
// resourceType may be given with or without its dot, or left NULL when resourceName holds it.
CF_EXPORT CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName,
                                           CFStringRef resourceType, CFStringRef subDirName);

CF_EXTERN_C_END
