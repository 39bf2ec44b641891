// Gestalt and alerts.
#include "CFInternal.h"

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <cstdio>

namespace {

// The system version reported: a release every caller here treats as current enough.
constexpr SInt32 kMajor = 10;
constexpr SInt32 kMinor = 9;
constexpr SInt32 kBugFix = 5;

} // namespace

OSErr Gestalt(OSType selector, SInt32* response) {
    if (!response) return paramErr;
    switch (selector) {
    case gestaltSystemVersion:
        // Binary-coded decimal: 10.9.5 reads 0x1095.
        *response = ((kMajor / 10) << 12) | ((kMajor % 10) << 8) | (kMinor << 4) | kBugFix;
        return noErr;
    case gestaltSystemVersionMajor:
        *response = kMajor;
        return noErr;
    case gestaltSystemVersionMinor:
        *response = kMinor;
        return noErr;
    case gestaltSystemVersionBugFix:
        *response = kBugFix;
        return noErr;
    default:
        return gestaltUndefSelectorErr;
    }
}

SInt32 CFUserNotificationDisplayAlert(CFTimeInterval /*timeout*/, CFOptionFlags /*flags*/,
                                      CFURLRef /*iconURL*/, CFURLRef /*soundURL*/,
                                      CFURLRef /*localizationURL*/, CFStringRef alertHeader,
                                      CFStringRef alertMessage, CFStringRef /*defaultButtonTitle*/,
                                      CFStringRef /*alternateButtonTitle*/,
                                      CFStringRef /*otherButtonTitle*/,
                                      CFOptionFlags* responseFlags) {
    const std::string header = zerub::cf::TextOr(alertHeader);
    const std::string message = zerub::cf::TextOr(alertMessage);
    std::fprintf(stderr, "%s%s%s\n", header.c_str(), header.empty() || message.empty() ? "" : ": ",
                 message.c_str());
    if (responseFlags) *responseFlags = kCFUserNotificationDefaultResponse;
    return 0;
}
