#include "editor/IGraphicsX11.h"

#include "containers/WDL_TypedBuf.h"
#include "editor/DesktopOpen.h"
#include "editor/IGraphicsResources.h"
#include "editor/X11ErrorTrap.h"
#include "plugin/IPlugBase.h"
#include "raster/lice.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

struct IGraphicsX11::Connection {
    Display* display = nullptr;
    GC gc = nullptr;
    Visual* visual = nullptr;
    int depth = 0;
    Atom wmDelete = 0;
    bool direct = false;             // the back buffer's words are the visual's pixels
    int shift[3] = {}, bits[3] = {}; // red, green, blue fields of the visual's pixels
    WDL_TypedBuf<uint32_t> convert;  // one area in the visual's format, for other visuals
    X11ErrorTrap* errors = nullptr;  // every X error of this connection ends here
};

namespace {

const char* VisualClassName(int c) {
    static const char* const names[] = {"StaticGray",  "GrayScale", "StaticColor",
                                        "PseudoColor", "TrueColor", "DirectColor"};
    return c >= 0 && c < 6 ? names[c] : "unknown";
}

// Bits per pixel of the server's images of this depth; 0 when it has none.
int BitsPerPixel(Display* display, int depth) {
    int n = 0, bpp = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &n);
    for (int i = 0; formats && i < n; ++i)
        if (formats[i].depth == depth) bpp = formats[i].bits_per_pixel;
    if (formats) XFree(formats);
    return bpp;
}

WDL_String& DefaultResourceDir() {
    static WDL_String dir;
    return dir;
}
// The editor's key codes (space, arrows, Home, End, Return, Escape, Backspace, digits, letters);
// -1 for any other key.
int KeyCodeOf(KeySym sym) {
    switch (sym) {
    case XK_Home:
    case XK_KP_Home:
        return KEY_HOME;
    case XK_End:
    case XK_KP_End:
        return KEY_END;
    case XK_Return:
    case XK_KP_Enter:
        return KEY_RETURN;
    case XK_Escape:
        return KEY_ESCAPE;
    case XK_BackSpace:
        return KEY_BACKSPACE;
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

uint32_t ToVisualPixel(uint32_t word, const int shift[3], const int bits[3]) {
    const uint32_t channels[3] = {(word >> 16) & 0xff, (word >> 8) & 0xff, word & 0xff};
    uint32_t pixel = 0;
    for (int c = 0; c < 3; ++c) {
        if (bits[c] == 0) continue;
        const uint32_t value =
            bits[c] >= 8 ? channels[c] << (bits[c] - 8) : channels[c] >> (8 - bits[c]);
        pixel |= value << shift[c];
    }
    return pixel;
}

// The mean colour of the bitmap's outermost ring of pixels: what surrounds the editor when the
// window is larger, so the artwork seems to go on.
uint32_t EdgeColour(LICE_IBitmap* bitmap) {
    const int w = bitmap->getWidth(), h = bitmap->getHeight(), span = bitmap->getRowSpan();
    const uint32_t* bits = reinterpret_cast<const uint32_t*>(bitmap->getBits());
    if (w <= 0 || h <= 0 || !bits) return 0;
    uint64_t sum[3] = {}, n = 0;
    auto add = [&](int x, int y) {
        const uint32_t p = bits[y * span + x];
        sum[0] += (p >> 16) & 0xff;
        sum[1] += (p >> 8) & 0xff;
        sum[2] += p & 0xff;
        ++n;
    };
    for (int x = 0; x < w; ++x) {
        add(x, 0);
        if (h > 1) add(x, h - 1);
    }
    for (int y = 1; y + 1 < h; ++y) {
        add(0, y);
        if (w > 1) add(w - 1, y);
    }
    return static_cast<uint32_t>((sum[0] + n / 2) / n) << 16 |
           static_cast<uint32_t>((sum[1] + n / 2) / n) << 8 |
           static_cast<uint32_t>((sum[2] + n / 2) / n);
}

// Minimum = maximum = the editor's size, for window managers and for hosts that size an
// embedded window from its hints.
void SetSizeHints(Display* display, Window window, int w, int h) {
    XSizeHints* hints = XAllocSizeHints();
    if (!hints) return;
    hints->flags = PMinSize | PMaxSize | PBaseSize;
    hints->min_width = hints->max_width = hints->base_width = w;
    hints->min_height = hints->max_height = hints->base_height = h;
    XSetWMNormalHints(display, window, hints);
    XFree(hints);
}

} // namespace

IGraphicsX11::IGraphicsX11(IPlugBase* plug, int width, int height, int fps)
    : IGraphics(plug, width, height, fps) {
    mResourceDir.Set(DefaultResourceDir().Get());
}

IGraphicsX11::~IGraphicsX11() {
    IGraphicsX11::CloseWindow();
}

void IGraphicsX11::SetDefaultResourceDir(const char* dir) {
    DefaultResourceDir().Set(dir ? dir : "");
}

LICE_IBitmap* IGraphicsX11::OSLoadBitmap(int /*id*/, const char* name) {
    return LoadImgFromResourceDir(mResourceDir.Get(), name);
}

void* IGraphicsX11::GetWindow() {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow));
}

void IGraphicsX11::Refuse(const char* why, unsigned long detail) {
    std::fprintf(stderr, "%s: ", GetPlug() ? GetPlug()->GetEffectName() : "Editor");
    std::fprintf(stderr, why, detail);
    std::fputc('\n', stderr);
}

void* IGraphicsX11::OpenWindow(void* parent) {
    CloseWindow();
    mClosedByUser = false;
    mDrawn = false;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    mX = new Connection;
    mX->display = display;
    mX->errors = X11TrapErrors(display);
    if (!mX->errors) {
        CloseWindow();
        return nullptr;
    }

    mTopLevel = parent == nullptr;
    int screen = DefaultScreen(display);
    Window parentWindow = RootWindow(display, screen);
    if (!mTopLevel) {
        // Checked first, so that a host handing over a stale or made-up id gets no UI rather
        // than one that fails later.
        parentWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(parent));
        XWindowAttributes a;
        if (!XGetWindowAttributes(display, parentWindow, &a) || a.c_class != InputOutput) {
            Refuse("the host's parent 0x%lx is no window to draw in; no editor opened",
                   parentWindow);
            CloseWindow();
            return nullptr;
        }
        screen = XScreenNumberOfScreen(a.screen);
    }
    mX->visual = DefaultVisual(display, screen);
    mX->depth = DefaultDepth(display, screen);
    if (mX->visual->c_class != TrueColor) {
        std::fprintf(stderr,
                     "%s: the display's visual is %d-bit %s; the editor draws on TrueColor "
                     "only, no editor opened\n",
                     GetPlug() ? GetPlug()->GetEffectName() : "Editor", mX->depth,
                     VisualClassName(mX->visual->c_class));
        CloseWindow();
        return nullptr;
    }
    const unsigned long masks[3] = {mX->visual->red_mask, mX->visual->green_mask,
                                    mX->visual->blue_mask};
    for (int c = 0; c < 3; ++c)
        MaskShape(masks[c], &mX->shift[c], &mX->bits[c]);
    mX->direct = BitsPerPixel(display, mX->depth) == 32 && (mX->depth == 24 || mX->depth == 32) &&
                 masks[0] == 0xff0000 && masks[1] == 0xff00 && masks[2] == 0xff;

    XSetWindowAttributes attributes = {};
    // No background: every pixel comes from the back buffer, so the server never clears first.
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.colormap = DefaultColormap(display, screen);
    attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            LeaveWindowMask | KeyPressMask | StructureNotifyMask;
    const Window window =
        XCreateWindow(display, parentWindow, 0, 0, static_cast<unsigned>(DeviceWidth()),
                      static_cast<unsigned>(DeviceHeight()), 0, mX->depth, InputOutput, mX->visual,
                      CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &attributes);
    mWindow = window;
    mWindowW = DeviceWidth();
    mWindowH = DeviceHeight();
    mX->gc = XCreateGC(display, window, 0, nullptr);
    SetSizeHints(display, window, DeviceWidth(), DeviceHeight());
    if (mTopLevel) {
        const char* title = GetPlug() ? GetPlug()->GetEffectName() : "Editor";
        XStoreName(display, window, title);
        mX->wmDelete = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, window, &mX->wmDelete, 1);
    }
    XMapWindow(display, window);
    // The parent may have gone between the check and here: then nothing is made either.
    XSync(display, False);
    if (X11ErrorCount(mX->errors) != 0) {
        Refuse("the host's parent 0x%lx went away while the editor opened; no editor opened",
               parentWindow);
        CloseWindow();
        return nullptr;
    }
    return GetWindow();
}

void IGraphicsX11::CloseWindow() {
    // A drag cut short by the window closing gets no release: end its gesture here.
    ReleaseMouseCapture();
    if (!mX) return;
    Display* display = mX->display;
    // A host often destroys its parent window (and so ours) before it closes the UI, and the
    // server may do so at any moment up to this request: the error that brings is caught on
    // this connection, so destroying is always safe.
    if (mWindow && !Lost()) XDestroyWindow(display, mWindow);
    if (mX->gc) XFreeGC(display, mX->gc);
    XSync(display, True);
    X11ReleaseTrap(display, mX->errors);
    XCloseDisplay(display);
    delete mX;
    mX = nullptr;
    mWindow = 0;
}

bool IGraphicsX11::Lost() const {
    return mX && mWindow && X11LostDrawable(mX->errors) == mWindow;
}

void IGraphicsX11::Resize(int w, int h) {
    IGraphics::Resize(w, h);
    mDrawn = false;
    FitWindow();
}

void IGraphicsX11::FitWindow() {
    if (!mX || !mWindow) return;
    SetSizeHints(mX->display, mWindow, DeviceWidth(), DeviceHeight());
    XResizeWindow(mX->display, mWindow, static_cast<unsigned>(DeviceWidth()),
                  static_cast<unsigned>(DeviceHeight()));
    XFlush(mX->display);
    // Asked for, so taken as the size until the server reports another (a host may differ).
    mWindowW = DeviceWidth();
    mWindowH = DeviceHeight();
    if (mSizeListener) mSizeListener(mSizeContext, DeviceWidth(), DeviceHeight());
}

bool IGraphicsX11::DisplayResources(WDL_String* out) {
    if (!out) return false;
    out->Set("");
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const char* resources = XResourceManagerString(display);
    if (resources) out->Set(resources);
    XCloseDisplay(display);
    return resources != nullptr;
}

double IGraphicsX11::SetScale(double scale) {
    const double before = GetScale();
    const double now = IGraphics::SetScale(scale);
    if (now != before && mX && mWindow) {
        mDrawn = false;
        FitWindow();
    }
    return now;
}

int IGraphicsX11::OriginX() const {
    return std::max(0, (mWindowW - DeviceWidth()) / 2);
}

int IGraphicsX11::OriginY() const {
    return std::max(0, (mWindowH - DeviceHeight()) / 2);
}

bool IGraphicsX11::Idle() {
    if (!mX) return false;
    IRECT exposed;
    bool wasExposed = false;
    // Reading events also reads errors: a window destroyed under us shows up here at the latest.
    while (mX && mWindow && !Lost() && XPending(mX->display) > 0) {
        XEvent event;
        XNextEvent(mX->display, &event);
        if (event.type == Expose) {
            const XExposeEvent& e = event.xexpose;
            exposed = exposed.UnionWith(IRECT(e.x, e.y, e.x + e.width, e.y + e.height));
            wasExposed = true;
            continue;
        }
        if (event.type == ConfigureNotify && event.xconfigure.window == mWindow) {
            // A host sized the window itself: the editor moves to the new centre, so all of it
            // is painted again.
            if (event.xconfigure.width != mWindowW || event.xconfigure.height != mWindowH) {
                mWindowW = event.xconfigure.width;
                mWindowH = event.xconfigure.height;
                exposed = IRECT(0, 0, mWindowW, mWindowH);
                wasExposed = true;
            }
            continue;
        }
        HandleEvent(&event);
    }
    if (mX && mWindow && Lost()) {
        // Gone on the server: nothing left to draw into, and nothing to destroy on closing.
        ReleaseMouseCapture();
        mWindow = 0;
    }
    if (!mX || !mWindow) return false;
    IRECT dirty;
    if (IsDirty(&dirty)) {
        Draw(&dirty);
        mDrawn = true;
    }
    if (wasExposed && mDrawn) PaintWindowArea(exposed);
    return true;
}

void IGraphicsX11::PaintWindowArea(const IRECT& area) {
    const int ox = OriginX(), oy = OriginY();
    const IRECT editor(ox, oy, ox + DeviceWidth(), oy + DeviceHeight());
    if (area.left < editor.left || area.top < editor.top || area.right > editor.right ||
        area.bottom > editor.bottom)
        FillMargins();
    PutArea(area.left - ox, area.top - oy, area.right - area.left, area.bottom - area.top);
}

void IGraphicsX11::FillMargins() {
    LICE_SysBitmap* buffer = GetBackBuffer();
    if (!mX || !mWindow || !buffer) return;
    const int ox = OriginX(), oy = OriginY();
    const int right = std::min(ox + DeviceWidth(), mWindowW),
              bottom = std::min(oy + DeviceHeight(), mWindowH);
    const XRectangle bands[4] = {
        {0, 0, static_cast<unsigned short>(mWindowW), static_cast<unsigned short>(oy)},
        {0, static_cast<short>(bottom), static_cast<unsigned short>(mWindowW),
         static_cast<unsigned short>(std::max(0, mWindowH - bottom))},
        {0, static_cast<short>(oy), static_cast<unsigned short>(ox),
         static_cast<unsigned short>(bottom - oy)},
        {static_cast<short>(right), static_cast<short>(oy),
         static_cast<unsigned short>(std::max(0, mWindowW - right)),
         static_cast<unsigned short>(bottom - oy)}};
    XRectangle fill[4];
    int n = 0;
    for (const XRectangle& band : bands)
        if (band.width > 0 && band.height > 0) fill[n++] = band;
    if (n == 0) return;
    const uint32_t edge = EdgeColour(buffer);
    XSetForeground(mX->display, mX->gc,
                   mX->direct ? edge : ToVisualPixel(edge, mX->shift, mX->bits));
    XFillRectangles(mX->display, mWindow, mX->gc, fill, n);
}

bool IGraphicsX11::ZoomGesture(void* anyEvent) {
    XEvent& event = *static_cast<XEvent*>(anyEvent);
    if (event.type == ButtonPress && (event.xbutton.state & ControlMask) &&
        (event.xbutton.button == Button4 || event.xbutton.button == Button5)) {
        StepUserZoom(event.xbutton.button == Button4 ? 1 : -1);
        return true;
    }
    if (event.type != KeyPress || !(event.xkey.state & ControlMask)) return false;
    char text[8];
    KeySym sym = NoSymbol;
    XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
    switch (sym) {
    case XK_plus:
    case XK_equal:
    case XK_KP_Add:
        StepUserZoom(1);
        return true;
    case XK_minus:
    case XK_underscore:
    case XK_KP_Subtract:
        StepUserZoom(-1);
        return true;
    case XK_0:
    case XK_KP_0:
        StepUserZoom(0);
        return true;
    default:
        return false;
    }
}

void IGraphicsX11::HandleEvent(void* anyEvent) {
    XEvent& event = *static_cast<XEvent*>(anyEvent);
    if (ZoomGesture(anyEvent)) return;
    // Positions in the editor's own coordinates, wherever it sits in the window.
    const int ox = OriginX(), oy = OriginY();
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
                OnMouseDblClick(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod);
            else
                OnMouseDown(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod);
        } else if (e.button == Button3) {
            IMouseMod mod = RightButtonMods(e.state);
            OnMouseDown(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod);
        } else if (e.button == Button4 || e.button == Button5) {
            IMouseMod mod = LeftButtonMods(e.state);
            OnMouseWheel(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod,
                         e.button == Button4 ? 1 : -1);
        }
        break;
    }
    case ButtonRelease: {
        const XButtonEvent& e = event.xbutton;
        if (e.button == Button1) {
            IMouseMod mod = LeftButtonMods(e.state);
            OnMouseUp(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod);
        } else if (e.button == Button3) {
            IMouseMod mod = RightButtonMods(e.state);
            OnMouseUp(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod);
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
            OnMouseDrag(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod);
        } else if (e.state & Button3Mask) {
            IMouseMod mod = RightButtonMods(e.state);
            OnMouseDrag(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod);
        } else {
            IMouseMod mod = LeftButtonMods(e.state);
            OnMouseOver(ToEditor(e.x - ox), ToEditor(e.y - oy), &mod);
        }
        break;
    }
    case LeaveNotify:
        if (!(event.xcrossing.state & (Button1Mask | Button3Mask))) OnMouseOut();
        break;
    case KeyPress: {
        char text[8];
        KeySym sym = NoSymbol;
        const int n = XLookupString(&event.xkey, text, sizeof text, &sym, nullptr);
        // The character typed, for the editor's value field: printable ASCII only.
        const int typed = n == 1 && text[0] >= 0x20 && text[0] < 0x7f ? text[0] : 0;
        OnKeyTyped(ToEditor(event.xkey.x - ox), ToEditor(event.xkey.y - oy), KeyCodeOf(sym), typed);
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
    const IRECT d = ToDevice(*r);
    PutArea(d.left, d.top, d.W(), d.H());
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
    const int ox = OriginX(), oy = OriginY();
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
        XPutImage(display, mWindow, mX->gc, image, x, y, x + ox, y + oy, static_cast<unsigned>(w),
                  static_cast<unsigned>(h));
    } else {
        // The server's own pixel size and byte order for this depth (8, 16, 24 or 32 bits a
        // pixel); XPutPixel packs each converted pixel accordingly.
        image = XCreateImage(display, mX->visual, static_cast<unsigned>(mX->depth), ZPixmap, 0,
                             nullptr, static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
        if (!image) return;
        const int words = (image->bytes_per_line * h + 3) / 4;
        uint32_t* pixels = mX->convert.Resize(words, false);
        if (!pixels) {
            XDestroyImage(image); // data is null: only the record goes
            return;
        }
        image->data = reinterpret_cast<char*>(pixels);
        const uint32_t* rows = reinterpret_cast<const uint32_t*>(bits);
        for (int row = 0; row < h; ++row)
            for (int col = 0; col < w; ++col)
                XPutPixel(image, col, row,
                          ToVisualPixel(rows[(y + row) * span + x + col], mX->shift, mX->bits));
        XPutImage(display, mWindow, mX->gc, image, 0, 0, x + ox, y + oy, static_cast<unsigned>(w),
                  static_cast<unsigned>(h));
    }
    image->data = nullptr; // the pixels are not Xlib's to free
    XDestroyImage(image);
    XFlush(display);
}

bool IGraphicsX11::OpenURL(const char* url, const char* /*msgWindowTitle*/,
                           const char* /*confirmMsg*/, const char* /*errMsg*/) {
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

void IGraphicsX11::PromptForFile(WDL_String* file, EFileAction /*action*/, WDL_String* /*dir*/,
                                 const char* /*extensions*/) {
    if (file) file->Set("");
}
