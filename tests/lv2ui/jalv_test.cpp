// The bundle's UI in a real host: jalv.gtk3 (through suil) on a private JACK server and the
// test's own X server shows the stereo plug-in's 333 x 511 editor (666 x 1022 under GDK_SCALE=2),
// pixel for pixel as the windowless editor draws it. Skips, saying so, where Xvfb, jackd or
// jalv.gtk3 is missing.
#include "../window/XvfbDisplay.h"

#include "editor/IGraphicsHeadless.h"
#include "effect/Zerub.h"
#include "raster/lice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Windows come and go while the tests walk the tree: a vanished one is not an error.
int IgnoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

constexpr int kW = 333, kH = 511;

// A child program, stopped (SIGTERM, then waited for) when this goes.
struct Child {
    pid_t pid = -1;
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
        pid = fork();
        if (pid == 0) {
            for (const std::string& e : env)
                putenv(const_cast<char*>(e.c_str()));
            std::vector<char*> args;
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    bool Running() const { return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0; }
    ~Child() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
};

bool Installed(const char* program) {
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// A viewable window of exactly w x h under top, depth first; 0 when there is none.
Window FindWindow(Display* d, Window top, int w, int h) {
    XWindowAttributes a;
    if (XGetWindowAttributes(d, top, &a) && a.map_state == IsViewable && a.width == w &&
        a.height == h)
        return top;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d, top, &root, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned i = 0; i < n && !found; ++i)
        found = FindWindow(d, children[i], w, h);
    if (children) XFree(children);
    return found;
}

// jalv.gtk3 showing the stereo plug-in's editor with GDK_SCALE at gdkScale (empty: unset): its
// window of the editor's size times scale, with the pixels the windowless editor draws at that
// scale (the rows the 1024 x 768 screen shows).
void ExpectJalvShowsTheEditor(const std::string& gdkScale, int scale) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    if (!Installed("jackd") || !Installed("jalv.gtk3"))
        GTEST_SKIP() << "jackd or jalv.gtk3 is not installed (apt-get install jackd2 jalv)";

    IGraphicsHeadless::SetDefaultResourceDir(ZERUB_SOURCE_DIR "/resources/img");
    std::unique_ptr<IPlugAU> plug(MakePlug(nullptr));
    IGraphics* gui = dynamic_cast<IGraphics*>(plug->GetGUI());
    ASSERT_NE(gui, nullptr);
    gui->SetScale(scale);
    IRECT r;
    while (gui->IsDirty(&r))
        gui->Draw(&r);

    const std::string server = "JACK_DEFAULT_SERVER=zerub-test-" + std::to_string(getpid());
    const std::string bundles = std::string("LV2_PATH=") + ZERUB_LV2_BUNDLE + "/..";
    // A settings folder with no remembered zoom, whatever this user chose in an editor.
    std::vector<std::string> env = {server, bundles, "XDG_CONFIG_HOME=/nonexistent/zerub-test"};
    if (!gdkScale.empty()) env.push_back("GDK_SCALE=" + gdkScale);
    Child jack({"jackd", "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "256"}, {server});
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XSetErrorHandler(IgnoreXErrors);
    const int w = kW * scale, h = kH * scale;
    Window ui = 0;
    // jalv gives up when the server is not up yet: start it again until it stays.
    std::unique_ptr<Child> jalv;
    for (int tick = 0; tick < 600 && !ui; ++tick) {
        if (!jalv || !jalv->Running())
            jalv.reset(
                new Child({"jalv.gtk3", "https://www.quillmoor.com/plugins/zerub#stereo"}, env));
        usleep(100000);
        ui = FindWindow(display, DefaultRootWindow(display), w, h);
    }
    ASSERT_NE(ui, 0u) << "no " << w << " x " << h << " window appeared";
    usleep(500000); // a few of jalv's idle calls
    int x0 = 0, y0 = 0;
    Window child = 0;
    XTranslateCoordinates(display, ui, DefaultRootWindow(display), 0, 0, &x0, &y0, &child);
    const int rows = std::min(h, DisplayHeight(display, DefaultScreen(display)) - y0);
    const int columns = std::min(w, DisplayWidth(display, DefaultScreen(display)) - x0);
    ASSERT_GT(rows, 0);
    ASSERT_GT(columns, 0);
    XImage* image =
        XGetImage(display, ui, 0, 0, unsigned(columns), unsigned(rows), AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    int different = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x)
            different += (XGetPixel(image, x, y) & 0xffffff) !=
                         (LICE_GetPixel(gui->GetBackBuffer(), x, y) & 0xffffff);
    XDestroyImage(image);
    XCloseDisplay(display);
    EXPECT_EQ(different, 0);
}

TEST(Jalv, ShowsTheStereoPluginsEditorAt333x511AsTheWindowlessEditorDrawsIt) {
    ExpectJalvShowsTheEditor("", 1);
}

// jalv.gtk3 1.6.6 passes no scale option; the UI takes the desktop's GDK_SCALE.
TEST(Jalv, UnderGdkScaleTwoShowsTheEditorAt666x1022DrawnAtTwo) {
    ExpectJalvShowsTheEditor("2", 2);
}

} // namespace
