#include "editor/IGraphicsX11.h"

#include "containers/WDL_TypedBuf.h"
#include "editor/DesktopOpen.h"
#include "editor/IGraphicsResources.h"
#include "plugin/IPlugBase.h"
#include "raster/lice.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

struct IGraphicsX11::Connection {
    Display* display = nullptr;
    GC gc = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    Atom wmDelete = 0;
    bool direct = false;            // the back buffer's words are the visual's pixels
    WDL_TypedBuf<uint32_t> convert; // one area in the visual's format, for other visuals
};

namespace {

WDL_String& DefaultResourceDir() {
    static WDL_String dir;
    return dir;
}

// The editor's key codes (space, arrows, digits, letters); -1 for any other key.
int KeyCodeOf(KeySym sym) {
    switch (sym) {
    case XK_space:
        return 0;
    case XK_Up:
        return 1;
    case XK_Down:
        return 2;
    case XK_Left:
        return 3;
    case XK_Right:
        return 4;
    default:
        break;
    }
    if (sym >= XK_0 && sym <= XK_9) return 5 + static_cast<int>(sym - XK_0);
    if (sym >= XK_a && sym <= XK_z) return 15 + static_cast<int>(sym - XK_a);
    if (sym >= XK_A && sym <= XK_Z) return 15 + static_cast<int>(sym - XK_A);
    return -1;
}

IMouseMod ModsFromState(unsigned state, bool left, bool right) {
    return IMouseMod(left, right, (state & ShiftMask) != 0, (state & ControlMask) != 0,
                     (state & Mod1Mask) != 0);
}

// Left-button events: Super (the command key) makes a left press act as a right one too.
IMouseMod LeftButtonMods(unsigned state) {
    return ModsFromState(state, true, (state & Mod4Mask) != 0);
}

IMouseMod RightButtonMods(unsigned state) {
    return ModsFromState(state, false, true);
}

// Where a mask's lowest set bit is, and how many bits it has.
void MaskShape(unsigned long mask, int* shift, int* bits) {
    *shift = 0;
    *bits = 0;
    if (!mask) return;
    while (!(mask & 1)) {
        mask >>= 1;
        ++*shift;
    }
    while (mask & 1) {
        mask >>= 1;
        ++*bits;
    }
}

uint32_t ToVisualPixel(uint32_t word, const Visual* v) {
    const unsigned long masks[3] = {v->red_mask, v->green_mask, v->blue_mask};
    const uint32_t channels[3] = {(word >> 16) & 0xff, (word >> 8) & 0xff, word & 0xff};
    uint32_t pixel = 0;
    for (int c = 0; c < 3; ++c) {
        int shift = 0, bits = 0;
        MaskShape(masks[c], &shift, &bits);
        if (bits == 0) continue;
        const uint32_t value = bits >= 8 ? channels[c] << (bits - 8) : channels[c] >> (8 - bits);
        pixel |= value << shift;
    }
    return pixel;
}

} // namespace

IGraphicsX11::IGraphicsX11(IPlugBase* plug, int width, int height, int fps)
    : IGraphics(plug, width, height, fps) {
    mResourceDir.Set(DefaultResourceDir().Get());
}

IGraphicsX11::~IGraphicsX11() {
    CloseWindow();
}

void IGraphicsX11::SetDefaultResourceDir(const char* dir) {
    DefaultResourceDir().Set(dir ? dir : "");
}

LICE_IBitmap* IGraphicsX11::OSLoadBitmap(int id, const char* name) {
    return LoadImgFromResourceDir(mResourceDir.Get(), name);
}

void* IGraphicsX11::GetWindow() {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow));
}

void* IGraphicsX11::OpenWindow(void* parent) {
    CloseWindow();
    mClosedByUser = false;
    mDrawn = false;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    mX = new Connection;
    mX->display = display;
    const int screen = DefaultScreen(display);
    mX->visual = DefaultVisual(display, screen);
    mX->depth = DefaultDepth(display, screen);
    mX->direct = (mX->depth == 24 || mX->depth == 32) && mX->visual->red_mask == 0xff0000 &&
                 mX->visual->green_mask == 0xff00 && mX->visual->blue_mask == 0xff;

    mTopLevel = parent == nullptr;
    const Window parentWindow = mTopLevel
                                    ? RootWindow(display, screen)
                                    : static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
    XSetWindowAttributes attributes = {};
    // No background: every pixel comes from the back buffer, so the server never clears first.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(display, screen);
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            LeaveWindowMask | KeyPressMask | StructureNotifyMask;
    const Window window =
        XCreateWindow(display, parentWindow, 0, 0, static_cast<unsigned>(Width()),
                      static_cast<unsigned>(Height()), 0, mX->depth, InputOutput, mX->visual,
                      CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
    mWindow = window;
    mX->gc = XCreateGC(display, window, 0, nullptr);

    if (mTopLevel) {
        XSizeHints* hints = XAllocSizeHints();
        if (hints) {
            hints->flags = PMinSize | PMaxSize;
            hints->min_width = hints->max_width = Width();
            hints->min_height = hints->max_height = Height();
            XSetWMNormalHints(display, window, hints);
            XFree(hints);
        }
        const char* title = GetPlug() ? GetPlug()->GetEffectName() : "Editor";
        XStoreName(display, window, title);
        mX->wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &mX->wmDelete, 1);
    }
    XMapWindow(display, window);
    XFlush(display);
    return GetWindow();
}

void IGraphicsX11::CloseWindow() {
    // A drag cut short by the window closing gets no release: end its gesture here.
    ReleaseMouseCapture();
    if (!mX) return;
    if (mWindow) {
        // A host often destroys its parent window (and so ours) before it closes the UI:
        // destroying ours again would be an X error, which ends the host's process.
        XSync(mX->display, False);
        XEvent gone;
        if (XCheckTypedWindowEvent(mX->display, mWindow, DestroyNotify, &gone)) mWindow = 0;
    }
    if (mWindow) XDestroyWindow(mX->display, mWindow);
    if (mX->gc) XFreeGC(mX->display, mX->gc);
    XCloseDisplay(mX->display);
    delete mX;
    mX = nullptr;
    mWindow = 0;
}

void IGraphicsX11::Resize(int w, int h) {
    IGraphics::Resize(w, h);
    mDrawn = false;
    if (mX && mWindow) {
        XResizeWindow(mX->display, mWindow, static_cast<unsigned>(Width()),
                      static_cast<unsigned>(Height()));
        XFlush(mX->display);
    }
}

bool IGraphicsX11::Idle() {
    if (!mX) return false;
    IRECT exposed;
    bool wasExposed = false;
    while (mX && mWindow && XPending(mX->display) > 0) {
        XEvent event;
        XNextEvent(mX->display, &event);
        if (event.type == Expose) {
            const XExposeEvent& e = event.xexpose;
            exposed = exposed.UnionWith(IRECT(e.x, e.y, e.x + e.width, e.y + e.height));
            wasExposed = true;
            continue;
        }
        HandleEvent(&event);
    }
    if (!mX || !mWindow) return false;
    IRECT dirty;
    if (IsDirty(&dirty)) {
        Draw(&dirty);
        mDrawn = true;
    }
    if (wasExposed && mDrawn)
        PutArea(exposed.left, exposed.top, exposed.right - exposed.left,
                exposed.bottom - exposed.top);
    return true;
}

void IGraphicsX11::HandleEvent(void* anyEvent) {
    XEvent& event = *static_cast<XEvent*>(anyEvent);
    switch (event.type) {
    case ButtonPress: {
        const XButtonEvent& e = event.xbutton;
        if (e.button == Button1) {
            IMouseMod mod = LeftButtonMods(e.state);
            // The second press of a pair (and every later quick one) is a double click, as a
            // click count of two or more is on the Cocoa layer.
            const bool quick = e.time - mLastPressTime <= unsigned(kDoubleClickMs) &&
                               std::abs(e.x - mLastPressX) <= kDoubleClickSlop &&
                               std::abs(e.y - mLastPressY) <= kDoubleClickSlop;
            mLastPressTime = e.time;
            mLastPressX = e.x;
            mLastPressY = e.y;
            if (quick)
                OnMouseDblClick(e.x, e.y, &mod);
            else
                OnMouseDown(e.x, e.y, &mod);
        } else if (e.button == Button3) {
            IMouseMod mod = RightButtonMods(e.state);
            OnMouseDown(e.x, e.y, &mod);
        } else if (e.button == Button4 || e.button == Button5) {
            IMouseMod mod = LeftButtonMods(e.state);
            OnMouseWheel(e.x, e.y, &mod, e.button == Button4 ? 1 : -1);
        }
        break;
    }
    case ButtonRelease: {
        const XButtonEvent& e = event.xbutton;
        if (e.button == Button1) {
            IMouseMod mod = LeftButtonMods(e.state);
            OnMouseUp(e.x, e.y, &mod);
        } else if (e.button == Button3) {
            IMouseMod mod = RightButtonMods(e.state);
            OnMouseUp(e.x, e.y, &mod);
        }
        break;
    }
    case MotionNotify: {
        // Only the latest position matters: a drag is one call per new position.
        while (XCheckTypedWindowEvent(mX->display, mWindow, MotionNotify, &event)) {
        }
        const XMotionEvent& e = event.xmotion;
        if (e.state & Button1Mask) {
            IMouseMod mod = LeftButtonMods(e.state);
            OnMouseDrag(e.x, e.y, &mod);
        } else if (e.state & Button3Mask) {
            IMouseMod mod = RightButtonMods(e.state);
            OnMouseDrag(e.x, e.y, &mod);
        } else {
            IMouseMod mod = LeftButtonMods(e.state);
            OnMouseOver(e.x, e.y, &mod);
        }
        break;
    }
    case LeaveNotify:
        if (!(event.xcrossing.state & (Button1Mask | Button3Mask))) OnMouseOut();
        break;
    case KeyPress: {
        char text[8];
        KeySym sym = NoSymbol;
        XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
        const int key = KeyCodeOf(sym);
        if (key >= 0) OnKeyDown(event.xkey.x, event.xkey.y, key);
        break;
    }
    case ClientMessage:
        if (mTopLevel && static_cast<Atom>(event.xclient.data.l[0]) == mX->wmDelete) {
            mClosedByUser = true;
            CloseWindow();
        }
        break;
    case DestroyNotify:
        // The host destroyed the view (or its parent): nothing is left to draw into.
        if (event.xdestroywindow.window == mWindow) {
            ReleaseMouseCapture();
            mWindow = 0;
        }
        break;
    default:
        break;
    }
}

bool IGraphicsX11::DrawScreen(IRECT* r) {
    if (!mX || !mWindow || !r) return false;
    PutArea(r->left, r->top, r->right - r->left, r->bottom - r->top);
    return true;
}

void IGraphicsX11::PutArea(int x, int y, int w, int h) {
    LICE_SysBitmap* buffer = GetBackBuffer();
    if (!mX || !mWindow || !buffer) return;
    const int right = std::min(x + w, buffer->getWidth());
    const int bottom = std::min(y + h, buffer->getHeight());
    x = std::max(x, 0);
    y = std::max(y, 0);
    if (right <= x || bottom <= y) return;
    w = right - x;
    h = bottom - y;
    Display* display = mX->display;
    const int span = buffer->getRowSpan();
    char* bits = reinterpret_cast<char*>(buffer->getBits());
    XImage* image = nullptr;
    if (mX->direct) {
        image = XCreateImage(display, mX->visual, static_cast<unsigned>(mX->depth), ZPixmap, 0,
                             bits, static_cast<unsigned>(buffer->getWidth()),
                             static_cast<unsigned>(buffer->getHeight()), 32, span * 4);
        if (!image) return;
        // The words are in this machine's order; Xlib swaps them if the server's differs.
        image->byte_order = LSBFirst;
        XPutImage(display, mWindow, mX->gc, image, x, y, x, y, static_cast<unsigned>(w),
                  static_cast<unsigned>(h));
    } else {
        image = XCreateImage(display, mX->visual, static_cast<unsigned>(mX->depth), ZPixmap, 0,
                             nullptr, static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
        if (!image) return;
        uint32_t* pixels = mX->convert.Resize(image->bytes_per_line / 4 * h, false);
        if (!pixels || image->bits_per_pixel != 32) {
            XDestroyImage(image); // data is null: only the record goes
            return;
        }
        image->data = reinterpret_cast<char*>(pixels);
        const uint32_t* rows = reinterpret_cast<const uint32_t*>(bits);
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col)
                XPutPixel(image, col, row,
                          ToVisualPixel(rows[(y + row) * span + x + col], mX->visual));
        XPutImage(display, mWindow, mX->gc, image, 0, 0, x, y, static_cast<unsigned>(w),
                  static_cast<unsigned>(h));
    }
    image->data = nullptr; // the pixels are not Xlib's to free
    XDestroyImage(image);
    XFlush(display);
}

bool IGraphicsX11::OpenURL(const char* url, const char* msgWindowTitle, const char* confirmMsg,
                           const char* errMsg) {
    return url && DesktopOpen(url);
}

void IGraphicsX11::HostPath(WDL_String* path) {
    if (path) path->Set("");
}

void IGraphicsX11::PluginPath(WDL_String* path) {
    if (path) path->Set(mPluginDir.Get());
}

void IGraphicsX11::DesktopPath(WDL_String* path) {
    if (!path) return;
    const char* home = std::getenv("HOME");
    path->Set(home ? home : "");
    path->Append("/Desktop");
}

void IGraphicsX11::AppSupportPath(WDL_String* path, bool isSystem) {
    if (!path) return;
    if (isSystem) {
        path->Set("/etc/xdg");
        return;
    }
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config) {
        path->Set(config);
        return;
    }
    const char* home = std::getenv("HOME");
    path->Set(home ? home : "");
    path->Append("/.config");
}

void IGraphicsX11::PromptForFile(WDL_String* file, EFileAction action, WDL_String* dir,
                                 const char* extensions) {
    if (file) file->Set("");
}
