#include "editor/IGraphicsMac.h"

#include "editor/CocoaSeam.h"
#include "editor/DesktopOpen.h"
#include "editor/IGraphicsCocoa.h"
#include "editor/IGraphicsResources.h"
#include "raster/lice.h"

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#include <cmath>
#include <cstring>

namespace {

// The CFBundle of the plug-in (the component loaded by the host), or null.
CFBundleRef PluginBundle(const char* bundleId) {
    if (!bundleId || !*bundleId) return nullptr;
    CFStringRef id = CFStringCreateWithCString(nullptr, bundleId, kCFStringEncodingUTF8);
    if (!id) return nullptr;
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(id);
    CFRelease(id);
    return bundle;
}

// Sets path to url's file-system path; leaves it unchanged when there is none.
void SetFromURL(WDL_String* path, CFURLRef url) {
    char buffer[4096];
    if (url && CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer),
                                                sizeof buffer))
        path->Set(buffer);
}

void SetFirstSearchPath(WDL_String* path, NSSearchPathDirectory directory,
                        NSSearchPathDomainMask domain) {
    NSArray* paths = NSSearchPathForDirectoriesInDomains(directory, domain, YES);
    path->Set([paths count] ? [[paths objectAtIndex:0] UTF8String] : "");
}

} // namespace

IGraphicsMac::IGraphicsMac(IPlugBase* plug, int w, int h, int fps) : IGraphics(plug, w, h, fps) {
    // The application object is made when a window first opens (OpenWindow), so that an editor
    // can be built where there is no display.
}

IGraphicsMac::~IGraphicsMac() {
    if (mView) {
        IGraphicsCocoa_vZerub_au* view = [mView retain];
        [view removeAllToolTips];
        [view killTimer];
        mView = nullptr;
        view->mGraphics = nullptr;
        [view removeFromSuperview];
        [view release];
    }
    cocoa_seam::DeleteScreenImage(mScreenImage);
}

bool IGraphicsMac::DrawScreen(IRECT* r) {
    if (!mView || ![NSGraphicsContext currentContext]) return false;
    if (!mScreenImage) mScreenImage = cocoa_seam::NewScreenImage();
    const IRECT all(0, 0, Width(), Height());
    cocoa_seam::DrawBuffer(
        mScreenImage, GetBackBuffer(), ToDevice(r ? *r : all),
        NSMakeRect(0.0, 0.0, DeviceWidth() / mBackingScale, DeviceHeight() / mBackingScale));
    return true;
}

double IGraphicsMac::SetScale(double scale) {
    const double now = IGraphics::SetScale(scale);
    FitViewFrame();
    return now;
}

void IGraphicsMac::FitViewFrame() {
    if (!mView) return;
    const NSSize size = NSMakeSize(DeviceWidth() / mBackingScale, DeviceHeight() / mBackingScale);
    if (!NSEqualSizes([mView frame].size, size)) [mView setFrameSize:size];
}

void IGraphicsMac::FollowBackingScale(double backing) {
    if (!(backing >= kMinScale && backing <= kMaxScale) || backing == mBackingScale) return;
    mBackingScale = backing;
    if (GetScale() < backing) IGraphics::SetScale(backing);
    FitViewFrame();
    SetAllControlsDirty();
}

bool IGraphicsMac::MeasureIText(IText* text, const char* str, IRECT* r) {
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    const bool result = DrawIText(text, str, r, true);
    [pool release];
    return result;
}

void IGraphicsMac::ForceEndUserEdit() {
    CancelValueEntry();
    if (mView) [mView endUserInput];
}

void IGraphicsMac::Resize(int w, int h) {
    if (w == Width() && h == Height()) return;
    IGraphics::Resize(w, h);
    FitViewFrame();
}

int IGraphicsMac::ShowMessageBox(const char* text, const char* caption, int type) {
    NSString* defaultButton = nil;
    NSString* alternateButton = nil;
    NSString* otherButton = nil;
    switch (type) {
    case kMessageBoxYesNo:
        defaultButton = @"Yes";
        alternateButton = @"No";
        break;
    case kMessageBoxYesNoCancel:
        defaultButton = @"Yes";
        alternateButton = @"No";
        otherButton = @"Cancel";
        break;
    case kMessageBoxOKCancel:
        alternateButton = @"Cancel";
        break;
    default:
        break;
    }
    switch (cocoa_seam::DisplayAlert(ToNSString(caption), ToNSString(text), defaultButton,
                                     alternateButton, otherButton)) {
    case kCFUserNotificationDefaultResponse:
        return kMessageBoxFirst;
    case kCFUserNotificationAlternateResponse:
        return kMessageBoxSecond;
    case kCFUserNotificationOtherResponse:
        return kMessageBoxThird;
    default:
        return kMessageBoxNoAnswer;
    }
}

IPopupMenu* IGraphicsMac::CreateIPopupMenu(IPopupMenu* menu, IRECT* area) {
    ReleaseMouseCapture();
    if (!mView || !menu || !area) return nullptr;
    return [mView createIPopupMenu:menu:EditorRectToViewAtScale(this, *area)];
}

void IGraphicsMac::CreateTextEntry(IControl* control, IText* style, IRECT* area, const char* text,
                                   IParam* param) {
    if (!mView || !style || !area) return;
    [mView createTextEntry:control:param:style:text:EditorRectToViewAtScale(this, *area)];
}

void IGraphicsMac::HostPath(WDL_String* path) {
    CFBundleRef bundle = PluginBundle(mBundleId.Get());
    if (!bundle) return;
    CFURLRef url = CFBundleCopyExecutableURL(bundle);
    SetFromURL(path, url);
    if (url) CFRelease(url);
}

void IGraphicsMac::PluginPath(WDL_String* path) {
    CFBundleRef bundle = PluginBundle(mBundleId.Get());
    if (!bundle) return;
    CFURLRef url = CFBundleCopyBundleURL(bundle);
    WDL_String bundlePath;
    SetFromURL(&bundlePath, url);
    if (url) CFRelease(url);
    NSString* folder = [ToNSString(bundlePath.Get()) stringByDeletingLastPathComponent];
    path->Set([folder UTF8String]);
    path->Append("/");
}

void IGraphicsMac::DesktopPath(WDL_String* path) {
    SetFirstSearchPath(path, NSDesktopDirectory, NSUserDomainMask);
}

void IGraphicsMac::AppSupportPath(WDL_String* path, bool isSystem) {
    SetFirstSearchPath(path, NSApplicationSupportDirectory,
                       isSystem ? NSSystemDomainMask : NSUserDomainMask);
}

void IGraphicsMac::SandboxSafeAppSupportPath(WDL_String* path) {
    path->Set([[NSHomeDirectory() stringByAppendingString:@"/Music"] UTF8String]);
}

void IGraphicsMac::PromptForFile(WDL_String* file, EFileAction action, WDL_String* dir,
                                 const char* extensions) {
    if (!file) return;
    if (!mView) {
        file->Set("");
        return;
    }
    NSString* defaultName = ToNSString(file->Get());
    NSString* defaultFolder = nil;
    if (dir && dir->GetLength()) {
        defaultFolder = ToNSString(dir->Get());
    } else {
        defaultFolder = [@"~/Desktop" stringByExpandingTildeInPath];
        if (dir) dir->Set([defaultFolder UTF8String]);
    }
    file->Set("");
    NSArray* types = [ToNSString(extensions) componentsSeparatedByString:@" "];

    NSSavePanel* panel = nil;
    NSInteger answer = 0;
    if (action == kFileSave) {
        panel = [NSSavePanel savePanel];
        [panel setAllowedFileTypes:types];
        [panel setAllowsOtherFileTypes:NO];
        answer = [panel runModalForDirectory:defaultFolder file:defaultName];
    } else {
        NSOpenPanel* open = [NSOpenPanel openPanel];
        [open setCanChooseFiles:YES];
        [open setCanChooseDirectories:NO];
        [open setResolvesAliases:YES];
        panel = open;
        answer = [open runModalForDirectory:defaultFolder file:defaultName types:types];
    }
    if (answer == NSOKButton) {
        NSString* chosen = [panel filename];
        file->Set([chosen UTF8String]);
        if (dir) {
            dir->Set([[chosen stringByDeletingLastPathComponent] UTF8String]);
            dir->Append("/");
        }
    }
}

bool IGraphicsMac::OpenURL(const char* url, const char* /*msgWindowTitle*/,
                           const char* /*confirmMsg*/, const char* /*errMsg*/) {
    if (!url) return false;
    NSURL* target = std::strstr(url, "http") ? [NSURL URLWithString:ToNSString(url)]
                                             : [NSURL fileURLWithPath:ToNSString(url)];
    if (!target) return true;
    // This platform's workspace has no URL service: asking it opens a modal alert that blocks
    // the host. The desktop's handler opens the address (or the path) without waiting.
    return DesktopOpen([target isFileURL] ? [[target path] UTF8String] : url);
}

void* IGraphicsMac::OpenWindow(void* parent) {
    CloseWindow();
    cocoa_seam::LoadApplication();
    mView = [[IGraphicsCocoa_vZerub_au alloc] initWithIGraphics:this];
    if (!mView) return nullptr;
    if (parent) [static_cast<NSView*>(parent) addSubview:mView];
    UpdateTooltips();
    // The frame timer keeps the view alive until the editor closes it; a host keeps it longer.
    return [mView autorelease];
}

void IGraphicsMac::CloseWindow() {
    if (!mView) return;
    // A drag cut short by the window closing gets no release: end its gesture here.
    ReleaseMouseCapture();
    IGraphicsCocoa_vZerub_au* view = [mView retain];
    [view removeAllToolTips];
    [view killTimer];
    mView = nullptr;
    if (view->mGraphics) {
        view->mGraphics = nullptr;
        [view removeFromSuperview];
    }
    [view release];
}

void IGraphicsMac::AttachSubWindow(void* hostWindow) {
    if (!hostWindow) return;
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSWindow* host = [static_cast<NSWindow*>(hostWindow) retain];
    [host setCanHide:YES];
    [host setReleasedWhenClosed:YES];

    const NSRect frame = [host frame];
    CGFloat offset = 0.0;
    const double w = DeviceWidth() / mBackingScale, h = DeviceHeight() / mBackingScale;
    if (frame.size.width > w) offset = std::floor((frame.size.width - w) * 0.5);
    NSRect content = NSMakeRect(frame.origin.x + offset, frame.origin.y, w, h);
    CustomCocoaWindow_vZerub_au* child =
        [[CustomCocoaWindow_vZerub_au alloc] initWithContentRect:content
                                                       styleMask:NSBorderlessWindowMask
                                                         backing:NSBackingStoreBuffered
                                                           defer:NO];
    [child retain];
    [child setOpaque:YES];
    [child setCanHide:YES];
    [child setHasShadow:NO];
    [child setReleasedWhenClosed:YES];
    OpenWindow([child contentView]);
    [host addChildWindow:child ordered:NSWindowAbove];
    [host orderFront:nil];
    [host display];
    [child performSelector:@selector(orderFront:) withObject:nil afterDelay:0.05];
    [child release]; // the host's child list and the extra retain keep it until it is closed
    mHostWindow = host;
    [pool release];
}

void IGraphicsMac::RemoveSubWindow() {
    if (!mHostWindow) return;
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    NSWindow* host = mHostWindow;
    NSArray* children = [host childWindows];
    NSWindow* child = [children count] ? [children objectAtIndex:0] : nil;
    CloseWindow();
    [child orderOut:nil];
    [host orderOut:nil];
    [child close];
    if (child) [host removeChildWindow:child];
    [host close];
    mHostWindow = nullptr;
    [pool release];
}

bool IGraphicsMac::GetTextFromClipboard(WDL_String* str) {
    if (!str) return false;
    NSString* text = cocoa_seam::LoadApplication()
                         ? [[NSPasteboard generalPasteboard] stringForType:NSStringPboardType]
                         : nil;
    str->Set(text ? [text UTF8String] : "");
    return text != nil;
}

void IGraphicsMac::HideMouseCursor() {
    if (mCursorHidden || !cocoa_seam::LoadApplication()) return;
    [NSCursor hide];
    mCursorHidden = true;
    const NSPoint p = [NSEvent mouseLocation];
    const CGFloat height = [[NSScreen mainScreen] frame].size.height;
    mCursorRestoreX = static_cast<int>(p.x);
    mCursorRestoreY = static_cast<int>(height - p.y);
}

void IGraphicsMac::ShowMouseCursor() {
    if (!mCursorHidden) return;
    cocoa_seam::WarpCursor(NSMakePoint(mCursorRestoreX, mCursorRestoreY));
    [NSCursor unhide];
    mCursorHidden = false;
}

void IGraphicsMac::UpdateTooltips() {
    if (!mView || !TooltipsEnabled()) return;
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    [mView removeAllToolTips];
    for (int i = 0; i < NControls(); ++i) {
        IControl* control = GetControl(i);
        IRECT area = *control->GetTargetRECT();
        if (!control->IsHidden() && !area.Empty()) [mView registerToolTip:&area];
    }
    [pool release];
}

LICE_IBitmap* IGraphicsMac::OSLoadBitmap(int /*resourceId*/, const char* name) {
    return LoadImgFromResourceOSX(mBundleId.Get(), name);
}

int IGraphicsMac::GetUserOSVersion() {
    SInt32 version = 0;
    return Gestalt(gestaltSystemVersion, &version) == noErr ? static_cast<int>(version) : 0;
}
