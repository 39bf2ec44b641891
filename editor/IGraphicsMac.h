// The editor in a Cocoa view: IGraphicsMac supplies every platform operation of IGraphics with
// AppKit and hosts the editor in an IGraphicsCocoa_vZerub_au view that the host embeds.
//
// Lifecycle. Created closed; building it needs no display. OpenWindow makes the view and starts
// its frame timer; the view is closed either by CloseWindow or by the host removing it from its
// superview. Deleting the editor closes an open view first.
//
// Scale. The view measures the editor's device pixels in points of its window's backing scale:
// where the window reports none (GNUstep's X11 back end without a scale set), one point per
// device pixel, so an editor at scale 2 is a view of twice its size. A window with a backing scale
// above the editor's makes the editor draw at that scale, the view keeping its size in points.
//
// Threads: everything here runs on the user-interface thread (the thread that opened the view:
// its run loop carries the timer, events and repaints). Popup menus, panels and the message box
// are modal.
//
// Plain C++ may include this header; the Objective-C types appear as opaque pointers there.
#pragma once

#include "editor/IGraphics.h"

#ifdef __OBJC__
@class IGraphicsCocoa_vZerub_au;
@class NSWindow;
#else
typedef struct objc_object IGraphicsCocoa_vZerub_au;
typedef struct objc_object NSWindow;
#endif

namespace cocoa_seam {
struct ScreenImage;
}

class IGraphicsMac : public IGraphics {
public:
    IGraphicsMac(IPlugBase* plug, int w, int h, int fps = 0);
    ~IGraphicsMac() override;

    void SetBundleID(const char* bundleID) { mBundleId.Set(bundleID); }
    const char* GetBundleID() const { return mBundleId.Get(); }

    bool DrawScreen(IRECT* r) override;
    bool MeasureIText(IText* text, const char* str, IRECT* r) override;
    void ForceEndUserEdit() override;
    void Resize(int w, int h) override;
    double SetScale(double scale) override; // an open view takes the new size
    // Device pixels per point of the view's window (1 until a window reports more).
    double BackingScale() const { return mBackingScale; }
    // The view's window reported its backing scale (the view moved to a window).
    void FollowBackingScale(double backing);
    bool WindowIsOpen() override { return mView != nullptr; }
    const char* GetGUIAPI() override { return "Cocoa GUI"; }
    // Buttons by type: 4 Yes/No, 3 Yes/No/Cancel, 1 OK/Cancel, else OK. Answers 1 (default
    // button), 7 (alternate), 2 (other), 0 (none).
    int ShowMessageBox(const char* text, const char* caption, int type) override;
    IPopupMenu* CreateIPopupMenu(IPopupMenu* menu, IRECT* area) override;
    void CreateTextEntry(IControl* control, IText* style, IRECT* area, const char* text,
                         IParam* param) override;
    void HostPath(WDL_String* path) override;
    void PluginPath(WDL_String* path) override;
    void DesktopPath(WDL_String* path) override;
    void AppSupportPath(WDL_String* path, bool isSystem = false) override;
    void SandboxSafeAppSupportPath(WDL_String* path) override;
    void PromptForFile(WDL_String* file, EFileAction action = kFileOpen, WDL_String* dir = nullptr,
                       const char* extensions = "") override;
    bool PromptForColor(IColor* /*color*/, const char* /*prompt*/ = "") override { return false; }
    bool OpenURL(const char* url, const char* msgWindowTitle = nullptr,
                 const char* confirmMsg = nullptr, const char* errMsg = nullptr) override;
    // Makes the view (autoreleased: the caller, or parent when given, keeps it) and returns it.
    void* OpenWindow(void* parent) override;
    void* OpenWindow(void* window, void* /*control*/, short /*leftOffset*/,
                     short /*topOffset*/) override {
        return OpenWindow(window);
    }
    void AttachSubWindow(void* hostWindow) override;
    void RemoveSubWindow() override;
    void CloseWindow() override;
    void* GetWindow() override { return mView; }
    bool GetTextFromClipboard(WDL_String* str) override;
    void HideMouseCursor() override;
    void ShowMouseCursor() override;
    void UpdateTooltips() override;
    LICE_IBitmap* OSLoadBitmap(int id, const char* name) override;

    // The system version code: four hexadecimal digits, 0x1095 for 10.9.5.
    int GetUserOSVersion();

private:
    IGraphicsCocoa_vZerub_au* mView = nullptr;
    WDL_String mBundleId;
    cocoa_seam::ScreenImage* mScreenImage = nullptr; // the screen transfer, made on first repaint
    NSWindow* mHostWindow = nullptr;
    double mBackingScale = 1.0;
    void FitViewFrame();
};
