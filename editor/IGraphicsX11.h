// The editor in an X11 window, on Xlib alone (no toolkit): the platform layer of the LV2 UI.
//
// OpenWindow(parent) opens a connection of the editor's own to the display named by DISPLAY
// (so it never shares a host's connection or its thread rules), makes a window of the editor's
// size as a child of parent (an X window id passed as a pointer-sized integer) or, when parent is
// null, a fixed-size top-level window, and returns its id the same way. Nothing happens on its
// own: the host calls Idle() on the user-interface thread, which handles the window's pending
// events and then redraws what is dirty. There is no thread and no timer; an idle call with
// nothing dirty and no event costs a poll of the connection.
//
// A UI must never end its host. Every X error on the editor's connection is the editor's own
// (a window the host destroyed under it, a parent that names no window): it is caught on that
// connection alone, without touching the process-wide handler the host may rely on, and marks
// the view gone. A parent that is no window, or a default visual that is not TrueColor, makes
// OpenWindow refuse (null) with one line on stderr.
//
// The window is the editor's size in device pixels (its size times the scale factor, which may be
// set before or after opening: an open window is resized), and pointer positions are mapped back
// to editor pixels before they reach the editor.
//
// The window asks window managers and embedding hosts for the editor's size (minimum = maximum);
// a host that makes it larger anyway gets the editor centred and the rest painted in the
// colour of the artwork's edge, so no pixel shows what was there before.
//
// Input maps as the Cocoa layer maps it: left button presses, drags and releases with the left
// flag (and the right flag too while Super, the command key, is held); a second left press within
// kDoubleClickMs and a few pixels of the first is a double click; right button events carry the
// right flag only; wheel buttons 4 and 5 give deltas +1 and -1; Shift, Control and Alt (Mod1)
// set their flags; space, arrows, Home, End, digits and letters go to OnKeyDown with the
// editor's codes, and every key to the editor's own value field while it is open. Control with
// the wheel, or with + (=) and -, steps the user's zoom; Control with 0 resets it.
//
// The back buffer's pixel word (0xAARRGGBB in memory order B, G, R, A) is the layout of a 24-bit
// TrueColor visual with masks 0xff0000, 0xff00, 0xff on a little-endian client, so rectangles
// go to the window with XPutImage straight from it; every other TrueColor visual (depths 8 to
// 32, any masks and pixel sizes) gets a converted copy.
//
// Offered: the view, redraw, mouse, wheel and keys, opening addresses with the desktop's
// handler, paths (plug-in folder, desktop, configuration folders). Refused with a clear result:
// message boxes (0, no button), popup menus (null, as a dismissed menu), the platform's text
// entry (nothing opens; the value stays: the editor's value field is its own), file prompts (an
// empty file name), colour prompts (false), the clipboard (false), tooltips (none). The Zerub
// editor asks for none of them.
#pragma once

#include "editor/IGraphics.h"

class IGraphicsX11 : public IGraphics {
public:
    static constexpr int kDoubleClickMs = 400;
    static constexpr int kDoubleClickSlop = 4; // pixels either way

    IGraphicsX11(IPlugBase* plug, int width, int height, int fps = 0);
    ~IGraphicsX11() override;

    // The folder every X11 editor made from now on reads its images from (base name + ".png").
    // Set by the UI before it makes the plug-in, under the UI's creation lock.
    static void SetDefaultResourceDir(const char* dir);
    // The resource string of the display named by DISPLAY (what xrdb loaded: Xft.dpi and the
    // like), read over a connection of its own; false when there is no display or no resources.
    static bool DisplayResources(WDL_String* out);
    void SetResourceDir(const char* dir) { mResourceDir.Set(dir); }
    // The plug-in's folder, answered by PluginPath.
    void SetPluginDir(const char* dir) { mPluginDir.Set(dir); }

    // Told the window's new size in device pixels whenever the editor's size changes while the
    // window is open (the user's zoom, a new scale): the LV2 UI passes it on to ui:resize.
    using SizeListener = void (*)(void* context, int width, int height);
    void SetSizeListener(SizeListener listener, void* context) {
        mSizeListener = listener;
        mSizeContext = context;
    }

    // UI thread. Handles every pending event, then redraws the dirty area. Returns false once
    // the window is gone: a top-level window closed by the user (the editor closes itself) or
    // a view destroyed by its host; true while the view is open.
    bool Idle();
    // The window closed itself (a top-level window's close button); cleared by OpenWindow.
    bool ClosedByUser() const { return mClosedByUser; }

    bool DrawScreen(IRECT* r) override;
    void ForceEndUserEdit() override { CancelValueEntry(); }
    void Resize(int w, int h) override;
    double SetScale(double scale) override;
    bool WindowIsOpen() override { return mWindow != 0; }
    const char* GetGUIAPI() override { return "X11"; }
    int ShowMessageBox(const char* /*text*/, const char* /*caption*/, int /*type*/) override {
        return 0;
    }
    IPopupMenu* CreateIPopupMenu(IPopupMenu* /*menu*/, IRECT* /*area*/) override { return nullptr; }
    void CreateTextEntry(IControl* /*control*/, IText* /*style*/, IRECT* /*area*/,
                         const char* /*text*/, IParam* /*param*/) override {}
    void HostPath(WDL_String* path) override;
    void PluginPath(WDL_String* path) override;
    void DesktopPath(WDL_String* path) override;
    void AppSupportPath(WDL_String* path, bool isSystem = false) override;
    void SandboxSafeAppSupportPath(WDL_String* path) override { AppSupportPath(path); }
    void PromptForFile(WDL_String* file, EFileAction action = kFileOpen, WDL_String* dir = nullptr,
                       const char* extensions = "") override;
    bool PromptForColor(IColor* /*color*/, const char* /*prompt*/ = "") override { return false; }
    // Starts the desktop's handler for url (an address or a path) and returns at once.
    bool OpenURL(const char* url, const char* msgWindowTitle = nullptr,
                 const char* confirmMsg = nullptr, const char* errMsg = nullptr) override;
    using IGraphics::OpenWindow;
    void* OpenWindow(void* parent) override;
    // Ends a gesture still open (a drag cut short), destroys the window, closes the connection.
    void CloseWindow() override;
    void* GetWindow() override;
    bool GetTextFromClipboard(WDL_String* /*str*/) override { return false; }
    void UpdateTooltips() override {}
    LICE_IBitmap* OSLoadBitmap(int id, const char* name) override;

private:
    struct Connection; // the Xlib objects, kept out of this header
    void HandleEvent(void* event);
    bool Lost() const; // the server has reported the window gone
    void Refuse(const char* why, unsigned long detail);
    // Where the editor's top left sits in the window: centred when the host made it larger.
    int OriginX() const;
    int OriginY() const;
    void PaintWindowArea(const IRECT& area);  // window coordinates
    void FillMargins();                       // what lies outside the editor
    void PutArea(int x, int y, int w, int h); // the back buffer's (device) pixels
    void FitWindow(); // the window and its size hints to the editor's device size
    // Ctrl + wheel and Ctrl +/- (or 0) step the user's zoom; true when the event was one of them.
    bool ZoomGesture(void* event);

    Connection* mX = nullptr;
    unsigned long mWindow = 0;      // X window id; 0 when closed
    int mWindowW = 0, mWindowH = 0; // the window's size as the server last reported it
    bool mTopLevel = false;
    bool mClosedByUser = false;
    bool mDrawn = false; // the back buffer holds a whole frame
    unsigned long mLastPressTime = 0;
    int mLastPressX = -1000, mLastPressY = -1000;
    WDL_String mResourceDir;
    WDL_String mPluginDir;
    SizeListener mSizeListener = nullptr;
    void* mSizeContext = nullptr;
};
