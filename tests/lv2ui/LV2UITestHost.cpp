#include "LV2UITestHost.h"

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

const char* const kMonoURI = "https://www.quillmoor.com/plugins/zerub#mono";
const char* const kStereoURI = "https://www.quillmoor.com/plugins/zerub#stereo";

namespace {

int gXErrors = 0;

int CountXError(Display*, XErrorEvent*) {
    ++gXErrors;
    return 0;
}

} // namespace

void InstallCountingXErrorHandler() {
    XSetErrorHandler(CountXError);
}

bool CountingXErrorHandlerInstalled() {
    // Setting a handler is the only way to read the one in force: put it straight back.
    XErrorHandler current = XSetErrorHandler(CountXError);
    XSetErrorHandler(current);
    return current == CountXError;
}

int XErrorsCounted() {
    return gXErrors;
}

LV2UITestHost::LV2UITestHost() {
    display = XOpenDisplay(nullptr);
    map = {this, Map};
    resize = {this, Resize};
    touch = {this, Touch};
}

LV2UITestHost::~LV2UITestHost() {
    Close();
    if (display) {
        if (parent) XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
    // The library stays loaded (RTLD_NODELETE): the process's image cache lives in it.
}

bool LV2UITestHost::Open(const char* pluginURI, bool withParent, int x, int y) {
    if (!display) return false;
    if (withParent && !parent) {
        const int screen = DefaultScreen(display);
        parent = XCreateSimpleWindow(display, RootWindow(display, screen), x, y,
                                     static_cast<unsigned>(parentW), static_cast<unsigned>(parentH),
                                     0, 0, BlackPixel(display, screen));
        XMapWindow(display, parent);
        XSync(display, False);
    }
    return Instantiate(pluginURI, withParent, parent);
}

bool LV2UITestHost::OpenInside(const char* pluginURI, Window parentId) {
    return display && Instantiate(pluginURI, true, parentId);
}

bool LV2UITestHost::Instantiate(const char* pluginURI, bool withParent, Window parentId) {
    library = dlopen((bundle + "/Zerub_ui.so").c_str(), RTLD_NOW | RTLD_NODELETE);
    if (!library) return false;
    auto entry =
        reinterpret_cast<const LV2UI_Descriptor* (*)(uint32_t)>(dlsym(library, "lv2ui_descriptor"));
    descriptor = entry ? entry(0) : nullptr;
    if (!descriptor) return false;
    idle =
        static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    if (!idle) return false;

    const LV2_Feature mapFeature = {LV2_URID__map, &map};
    const LV2_Feature parentFeature = {LV2_UI__parent,
                                       reinterpret_cast<void*>(static_cast<uintptr_t>(parentId))};
    const LV2_Feature resizeFeature = {LV2_UI__resize, &resize};
    const LV2_Feature touchFeature = {LV2_UI__touch, &touch};
    const LV2_Feature idleFeature = {LV2_UI__idleInterface, nullptr};
    const LV2_Options_Option options[2] = {{LV2_OPTIONS_INSTANCE, 0, Map(this, LV2_UI__scaleFactor),
                                            sizeof(float), Map(this, LV2_ATOM__Float),
                                            &scaleOption},
                                           {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    const LV2_Feature optionsFeature = {LV2_OPTIONS__options,
                                        const_cast<LV2_Options_Option*>(options)};
    const LV2_Feature* features[7] = {&mapFeature, &resizeFeature, &touchFeature, &idleFeature,
                                      nullptr,     nullptr,        nullptr};
    int next = 4;
    if (withParent) features[next++] = &parentFeature;
    if (scaleOption > 0.0f) features[next++] = &optionsFeature;
    LV2UI_Widget widget = nullptr;
    handle = descriptor->instantiate(descriptor, pluginURI, (bundle + "/").c_str(), Write, this,
                                     &widget, features);
    if (!handle) return false;
    uiWindow = static_cast<Window>(reinterpret_cast<uintptr_t>(widget));
    Idle();
    return uiWindow != 0;
}

void LV2UITestHost::Close() {
    if (handle) descriptor->cleanup(handle);
    handle = nullptr;
    uiWindow = 0;
    if (display) XSync(display, False);
}

void LV2UITestHost::DestroyParent() {
    if (parent) XDestroyWindow(display, parent);
    parent = 0;
    XSync(display, False);
}

void LV2UITestHost::DestroyParentUnsynced() {
    if (parent) XDestroyWindow(display, parent);
    parent = 0;
    XFlush(display);
}

void LV2UITestHost::GrabServer() {
    XGrabServer(display);
    XSync(display, False);
}

void LV2UITestHost::UngrabServer() {
    XUngrabServer(display);
    XSync(display, False);
}

int LV2UITestHost::Idle(int n) {
    int answer = 1;
    for (int i = 0; i < n && handle; ++i) {
        XSync(display, False);
        answer = idle->idle(handle);
        usleep(5000);
    }
    XSync(display, False);
    return answer;
}

void LV2UITestHost::PortEvent(uint32_t port, float value) {
    descriptor->port_event(handle, port, sizeof value, 0, &value);
}

void LV2UITestHost::RawPortEvent(uint32_t port, uint32_t size, uint32_t format,
                                 const void* buffer) {
    descriptor->port_event(handle, port, size, format, buffer);
}

Window LV2UITestHost::ParentOf(Window w) const {
    Window root = 0, up = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(display, w, &root, &up, &children, &n)) return 0;
    if (children) XFree(children);
    return up;
}

bool LV2UITestHost::WindowSize(Window w, int* width, int* height) const {
    XWindowAttributes a;
    if (!XGetWindowAttributes(display, w, &a)) return false;
    *width = a.width;
    *height = a.height;
    return true;
}

std::vector<uint32_t> LV2UITestHost::Pixels(Window w, int width, int height) const {
    std::vector<uint32_t> out;
    XImage* image = XGetImage(display, w, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return out;
    out.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out[static_cast<size_t>(y) * width + x] = XGetPixel(image, x, y) & 0xffffff;
    XDestroyImage(image);
    return out;
}

Window LV2UITestHost::Root() const {
    return DefaultRootWindow(display);
}

bool LV2UITestHost::VisualMasks(unsigned long* red, unsigned long* green,
                                unsigned long* blue) const {
    if (!display) return false;
    const Visual* v = DefaultVisual(display, DefaultScreen(display));
    *red = v->red_mask;
    *green = v->green_mask;
    *blue = v->blue_mask;
    return v->c_class == TrueColor;
}

void LV2UITestHost::PaintOver(uint32_t rgb) {
    GC gc = XCreateGC(display, uiWindow, 0, nullptr);
    XSetForeground(display, gc, rgb);
    XFillRectangle(display, uiWindow, gc, 0, 0, 4096, 4096);
    XFreeGC(display, gc);
    XSync(display, False);
}

void LV2UITestHost::SetParentBackground(unsigned long px) {
    XSetWindowBackground(display, parent, px);
    XClearWindow(display, parent);
    XSync(display, False);
}

void LV2UITestHost::ResizeUI(int width, int height) {
    int w = 0, h = 0;
    if (parent && WindowSize(parent, &w, &h) && (w < width || h < height))
        XResizeWindow(display, parent, static_cast<unsigned>(std::max(w, width)),
                      static_cast<unsigned>(std::max(h, height)));
    XResizeWindow(display, uiWindow, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XSync(display, False);
}

bool LV2UITestHost::SizeHints(Window w, int* minW, int* minH, int* maxW, int* maxH) const {
    XSizeHints hints = {};
    long supplied = 0;
    if (!XGetWMNormalHints(display, w, &hints, &supplied)) return false;
    if ((hints.flags & (PMinSize | PMaxSize)) != (PMinSize | PMaxSize)) return false;
    *minW = hints.min_width;
    *minH = hints.min_height;
    *maxW = hints.max_width;
    *maxH = hints.max_height;
    return true;
}

void LV2UITestHost::SetResources(const char* resources) {
    const Window root = DefaultRootWindow(display);
    if (resources)
        XChangeProperty(display, root, XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(resources),
                        static_cast<int>(std::strlen(resources)));
    else
        XDeleteProperty(display, root, XA_RESOURCE_MANAGER);
    XSync(display, False);
}

void LV2UITestHost::SendClose() {
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = uiWindow;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    XSendEvent(display, uiWindow, False, NoEventMask, &e);
    XSync(display, False);
}

void LV2UITestHost::MoveTo(int x, int y) {
    Window child = 0;
    int rx = 0, ry = 0;
    XTranslateCoordinates(display, uiWindow, DefaultRootWindow(display), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rx, ry, CurrentTime);
    Idle(2);
}

void LV2UITestHost::Press(int button) {
    XTestFakeButtonEvent(display, static_cast<unsigned>(button), True, CurrentTime);
    Idle(2);
}

void LV2UITestHost::Release(int button) {
    XTestFakeButtonEvent(display, static_cast<unsigned>(button), False, CurrentTime);
    Idle(2);
}

void LV2UITestHost::Key(const char* keysym) {
    const KeySym sym = XStringToKeysym(keysym);
    const KeyCode code = sym == NoSymbol ? 0 : XKeysymToKeycode(display, sym);
    if (code == 0) return;
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    Idle(2);
}

void LV2UITestHost::Click(int button, int x, int y) {
    MoveTo(x, y);
    Press(button);
    Release(button);
}

void LV2UITestHost::ControlKey(unsigned long keysym) {
    const unsigned control = XKeysymToKeycode(display, XK_Control_L);
    const unsigned key = XKeysymToKeycode(display, static_cast<KeySym>(keysym));
    XTestFakeKeyEvent(display, control, True, CurrentTime);
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XTestFakeKeyEvent(display, key, False, CurrentTime);
    XTestFakeKeyEvent(display, control, False, CurrentTime);
    Idle(3);
}

void LV2UITestHost::ControlWheel(int button) {
    const unsigned control = XKeysymToKeycode(display, XK_Control_L);
    XTestFakeKeyEvent(display, control, True, CurrentTime);
    XTestFakeButtonEvent(display, static_cast<unsigned>(button), True, CurrentTime);
    XTestFakeButtonEvent(display, static_cast<unsigned>(button), False, CurrentTime);
    XTestFakeKeyEvent(display, control, False, CurrentTime);
    Idle(3);
}

void LV2UITestHost::Write(LV2UI_Controller controller, uint32_t port, uint32_t size,
                          uint32_t protocol, const void* buffer) {
    auto* self = static_cast<LV2UITestHost*>(const_cast<void*>(controller));
    float value = 0.0f;
    if (protocol == 0 && size == sizeof value)
        std::memcpy(&value, buffer, sizeof value);
    else
        value = -12345.0f; // anything but a float on a control port is a fault
    self->messages.push_back({UIMessage::kWrite, port, value});
}

void LV2UITestHost::Touch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed) {
    auto* self = static_cast<LV2UITestHost*>(handle);
    self->messages.push_back({grabbed ? UIMessage::kGrab : UIMessage::kRelease, port, 0.0f});
}

int LV2UITestHost::Resize(LV2UI_Feature_Handle handle, int width, int height) {
    auto* self = static_cast<LV2UITestHost*>(handle);
    self->resizedWidth = width;
    self->resizedHeight = height;
    return 0;
}

LV2_URID LV2UITestHost::Map(LV2_URID_Map_Handle handle, const char* uri) {
    auto* self = static_cast<LV2UITestHost*>(handle);
    for (size_t i = 0; i < self->uris.size(); ++i)
        if (self->uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    self->uris.push_back(uri);
    return static_cast<LV2_URID>(self->uris.size());
}
