// A small LV2 UI host for the tests: loads the bundle's UI binary, gives it an Xlib parent
// window (or none), urid:map, ui:resize, ui:touch and the idle interface (never instance access
// or data access), records what the UI writes and touches, and drives the pointer with XTest.
// Needs a display (StartXvfb).
#pragma once

#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <string>
#include <vector>

// Xlib's names stay out of this header (its macros clash with the tests' own names).
using Window = unsigned long;
struct _XDisplay;

// A process-wide X error handler that counts errors instead of ending the process, as a host
// may install; CountingHandlerInstalled says whether it is still the one in force.
void InstallCountingXErrorHandler();
bool CountingXErrorHandlerInstalled();
int XErrorsCounted();

// How many pixels of two equally sized pictures differ; -1 when their sizes differ.
inline int CountDifferent(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (size_t i = 0; i < a.size(); ++i)
        n += a[i] != b[i];
    return n;
}

// The plug-in URIs of the bundle.
extern const char* const kMonoURI;
extern const char* const kStereoURI;

// What the UI told the host, in order: a float written on a port, or a touch grab or release.
struct UIMessage {
    enum Kind { kWrite, kGrab, kRelease } kind;
    uint32_t port;
    float value; // written value (kWrite only)
};

class LV2UITestHost {
public:
    LV2UITestHost();
    ~LV2UITestHost(); // closes the UI and the parent window
    LV2UITestHost(const LV2UITestHost&) = delete;
    LV2UITestHost& operator=(const LV2UITestHost&) = delete;

    // Instantiates the UI for pluginURI inside a new parent window at (x, y) of the screen, or
    // as its own top-level window when withParent is false. False when anything failed.
    bool Open(const char* pluginURI, bool withParent = true, int x = 0, int y = 0);
    // Instantiates the UI with parentId as ui:parent, whatever it names (no window of its own).
    bool OpenInside(const char* pluginURI, Window parentId);
    // The bundle Open loads the UI from (default: the built one); set before the first Open.
    std::string bundle = ZERUB_LV2_BUNDLE;
    // Given to the UI as the ui:scaleFactor option (an atom:Float) when above 0; set before Open.
    float scaleOption = 0.0f;
    int parentW = 400, parentH = 600; // the parent window Open makes
    // Sets (or, with null, removes) the display's resource string, as xrdb does; the UI reads it
    // when it opens.
    void SetResources(const char* resources);
    void Close();         // the host's cleanup call; the parent window stays
    void DestroyParent(); // as a host tearing down its window before the UI
    // The same, sent to the server without waiting for it to be done (as a toolkit does).
    void DestroyParentUnsynced();
    // The whole server for this host's connection alone, until UngrabServer (synced both).
    void GrabServer();
    void UngrabServer();
    bool IsOpen() const { return handle != nullptr; }

    // The UI's idle call n times, letting the server's events arrive in between; the last
    // answer (0 while the UI is open).
    int Idle(int n = 5);
    // One idle call and nothing else (no waiting, no round trip to the server).
    int IdleOnce() { return idle->idle(handle); }
    void PortEvent(uint32_t port, float value);
    void RawPortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);

    Window UIWindow() const { return uiWindow; }
    Window ParentWindow() const { return parent; }
    Window ParentOf(Window w) const; // from the server's window tree
    bool WindowSize(Window w, int* width, int* height) const;
    // The window's pixels as 0x00RRGGBB words, row by row; empty when it cannot be read.
    std::vector<uint32_t> Pixels(Window w, int width, int height) const;
    Window Root() const;
    // The default visual's colour masks; false when it has none (not a TrueColor visual).
    bool VisualMasks(unsigned long* red, unsigned long* green, unsigned long* blue) const;
    // Fills the UI's window with rgb through the host's own connection, behind the UI's back.
    void PaintOver(uint32_t rgb);
    // Gives the parent window a background of pixel value px and clears it to that.
    void SetParentBackground(unsigned long px);
    // Sizes the UI's window itself, as hosts with a wider window of their own do (the parent
    // grows to hold it).
    void ResizeUI(int width, int height);
    // The window's WM_NORMAL_HINTS sizes; false when it has no minimum and maximum size.
    bool SizeHints(Window w, int* minW, int* minH, int* maxW, int* maxH) const;
    // Sends WM_DELETE_WINDOW to the UI's window, as a window manager's close button does.
    void SendClose();

    // Pointer through XTest, at window coordinates of the UI's window; each call idles the UI.
    void MoveTo(int x, int y);
    void Press(int button);
    void Release(int button);
    void Click(int button, int x, int y);
    // A key pressed and released through XTest, by keysym name ("Up", "Home", "Return", "0",
    // "period"); it goes where the server sends keys (the window under the pointer here).
    void Key(const char* keysym);
    // The key of keysym pressed and released with Control held (at the pointer's window).
    void ControlKey(unsigned long keysym);
    // A wheel button (4 up, 5 down) pressed and released with Control held.
    void ControlWheel(int button);

    std::vector<UIMessage> messages;
    int resizedWidth = 0, resizedHeight = 0;

private:
    bool Instantiate(const char* pluginURI, bool withParent, Window parentId);
    static void Write(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol,
                      const void* buffer);
    static void Touch(LV2UI_Feature_Handle handle, uint32_t port, bool grabbed);
    static int Resize(LV2UI_Feature_Handle handle, int width, int height);
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);

    _XDisplay* display = nullptr;
    Window parent = 0;
    Window uiWindow = 0;
    void* library = nullptr;
    const LV2UI_Descriptor* descriptor = nullptr;
    LV2UI_Handle handle = nullptr;
    const LV2UI_Idle_Interface* idle = nullptr;
    std::vector<std::string> uris;
    LV2_URID_Map map;
    LV2UI_Resize resize;
    LV2UI_Touch touch;
};
