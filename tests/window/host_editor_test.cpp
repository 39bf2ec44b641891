// zerub-host editor run as a user runs it, with the mouse driven by xdotool: a drag cut short by
// Ctrl-C, by the window's close button, by another client destroying the window or by the death
// of the display still ends its gesture in what the host prints; the
// maker's link opens with the desktop's handler and never holds the program; nothing but the
// editor's window appears, and GNUstep's notes on the missing window manager stay off stderr.
#include "FakeDesktopOpener.h"
#include "XvfbDisplay.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

#include <X11/Xlib.h>

namespace fs = std::filesystem;

namespace {

// Windows come and go while the tests walk the tree: a vanished one is not an error.
int IgnoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

const std::string kHost = ZERUB_HOST_BINARY;
const std::string kBundle = ZERUB_BUNDLE_DIR;
constexpr int kW = 333, kH = 511;
constexpr int kGainX = 195, kGainY = 203; // the Gain knob's centre

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Viewable windows of exactly w x h under top.
int CountWindows(Display* d, Window top, int w, int h, Window* first) {
    XWindowAttributes a;
    int n = 0;
    if (XGetWindowAttributes(d, top, &a) && a.map_state == IsViewable && a.width == w &&
        a.height == h) {
        if (!n && first) *first = top;
        ++n;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, top, &root, &parent, &children, &count)) return n;
    for (unsigned i = 0; i < count; ++i) {
        Window found = 0;
        const int k = CountWindows(d, children[i], w, h, &found);
        if (k && first && !*first) *first = found;
        n += k;
    }
    if (children) XFree(children);
    return n;
}

// zerub-host editor in the background, its output in files of a folder of its own, and this
// user's settings (XDG_CONFIG_HOME) in settings, else in a folder of its own too: the user's own
// zoom is no part of the tests.
struct EditorProgram {
    fs::path dir;
    pid_t pid = -1;
    Display* display = nullptr;
    Window window = 0;
    int scale = 1; // the editor's scale: its window is that multiple of kW x kH

    explicit EditorProgram(int editorScale = 1, const fs::path& settings = {})
        : scale(editorScale) {
        char name[] = "/tmp/zerub-host-editor-XXXXXX";
        dir = mkdtemp(name);
        const fs::path config = settings.empty() ? dir / "config" : settings;
        display = XOpenDisplay(nullptr);
        XSetErrorHandler(IgnoreXErrors);
        pid = fork();
        if (pid == 0) {
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            freopen((dir / "out").c_str(), "w", stdout);
            freopen((dir / "err").c_str(), "w", stderr);
            const std::string factor = std::to_string(scale);
            execl(kHost.c_str(), kHost.c_str(), "editor", "--component", kBundle.c_str(), "--scale",
                  factor.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~EditorProgram() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (display) XCloseDisplay(display);
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // Waits for the editor's window; false after 60 seconds.
    bool WaitForWindow() { return WaitForWindowOf(kW * scale, kH * scale, 600); }
    // Waits for a window of w x h, which becomes the window; false after tenths of a second.
    bool WaitForWindowOf(int w, int h, int tenths) {
        for (int i = 0; i < tenths && display; ++i) {
            Window found = 0;
            if (CountWindows(display, DefaultRootWindow(display), w, h, &found) && found) {
                window = found;
                return true;
            }
            usleep(100000);
        }
        return false;
    }
    int AppIconWindows() {
        return CountWindows(display, DefaultRootWindow(display), 64, 64, nullptr);
    }
    void Xdotool(const std::string& args) {
        RunCommand("xdotool " + args + " >/dev/null 2>&1");
        usleep(300000); // the program's event loop takes its turn
    }
    void MouseTo(int x, int y) {
        Xdotool("mousemove --window " + std::to_string(window) + " " + std::to_string(x) + " " +
                std::to_string(y));
    }
    // Waits for the program to end; its exit status, or -1 when it is still running after 30
    // seconds.
    int WaitForExit() {
        for (int i = 0; i < 300; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            usleep(100000);
        }
        return -1;
    }
    void SendClose() {
        XEvent e = {};
        e.xclient.type = ClientMessage;
        e.xclient.window = window;
        e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &e);
        XSync(display, False);
    }
    std::string Out() { return ReadAll(dir / "out"); }
    std::string Err() { return ReadAll(dir / "err"); }
};

// The last gesture line of the output.
std::string LastGesture(const std::string& out) {
    std::string last;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.find("gesture") != std::string::npos) last = line;
    return last;
}

// The left button pressed on the Gain knob and moved up, not yet released.
void DragGainHalfway(EditorProgram& editor) {
    editor.MouseTo(kGainX, kGainY);
    editor.Xdotool("mousedown 1");
    editor.MouseTo(kGainX, kGainY - 20);
}

// The last value the host printed for Gain ("Gain 0.620"), or empty.
std::string LastGainValue(const std::string& out) {
    std::string last;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Gain 0", 0) == 0 || line.rfind("Gain 1", 0) == 0) last = line;
    return last;
}

// A drag of the Gain knob 40 editor pixels up, in the window's own pixels.
std::string GainAfterDrag(int scale) {
    EditorProgram editor(scale);
    if (!editor.WaitForWindow()) return "no window";
    editor.MouseTo(kGainX * scale, kGainY * scale);
    editor.Xdotool("mousedown 1");
    for (int step = 1; step <= 4; ++step)
        editor.MouseTo(kGainX * scale, (kGainY - 10 * step) * scale);
    editor.Xdotool("mouseup 1");
    editor.SendClose();
    editor.WaitForExit();
    return LastGainValue(editor.Out());
}

TEST(HostEditor, ADragAtScaleTwoMovesTheKnobAsTheSameDragAtScaleOne) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    const std::string one = GainAfterDrag(1);
    EXPECT_EQ(one, "Gain 0.661"); // 40 of 62 x 4 pixels of travel above the middle
    EXPECT_EQ(GainAfterDrag(2), one);
}

// Ctrl + wheel over the editor zooms it a step, the host's window following; the next editor
// this user opens comes at that zoom, and a scale asked for on the command line is multiplied by
// it.
TEST(HostEditor, AZoomChosenInOneEditorOpensTheNextAtThatSize) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    char name[] = "/tmp/zerub-host-zoom-XXXXXX";
    const fs::path settings = mkdtemp(name);
    constexpr int kW125 = 416, kH125 = 639; // 333 x 511 at 125 %, rounded
    {
        EditorProgram first(1, settings);
        ASSERT_TRUE(first.WaitForWindow());
        first.MouseTo(50, 50);
        first.Xdotool("keydown ctrl");
        first.Xdotool("click 4"); // the wheel turned up
        first.Xdotool("keyup ctrl");
        EXPECT_TRUE(first.WaitForWindowOf(kW125, kH125, 100)) << "the window kept its size";
        first.SendClose();
        EXPECT_EQ(first.WaitForExit(), 0);
    }
    EXPECT_EQ(ReadAll(settings / "Quillmoor" / "Zerub.conf"), "zoom=125\n");
    // The next editor, then one at scale 2 (2 x 125 %).
    for (const auto& [scale, w, h] : {std::tuple<int, int, int>{1, kW125, kH125}, {2, 833, 1278}}) {
        EditorProgram next(scale, settings);
        EXPECT_TRUE(next.WaitForWindowOf(w, h, 600)) << "scale " << scale << ": zoom forgotten";
        next.SendClose();
        EXPECT_EQ(next.WaitForExit(), 0);
    }
    std::error_code ignored;
    fs::remove_all(settings, ignored);
}

TEST(HostEditor, CtrlCInTheMiddleOfADragStillEndsTheGestureAndTheEditorComesAlone) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    EditorProgram editor;
    ASSERT_TRUE(editor.WaitForWindow());
    DragGainHalfway(editor);
    EXPECT_EQ(editor.AppIconWindows(), 0) << "an application icon window beside the editor";
    kill(editor.pid, SIGINT);
    EXPECT_EQ(editor.WaitForExit(), 0) << editor.Err();
    editor.Xdotool("mouseup 1");
    const std::string out = editor.Out();
    EXPECT_NE(out.find("Gain: gesture begins"), std::string::npos) << out;
    EXPECT_EQ(LastGesture(out), "Gain: gesture ends") << out;
    EXPECT_EQ(editor.Err().find("Failed to determine offsets"), std::string::npos) << editor.Err();
}

TEST(HostEditor, ClosingTheWindowInTheMiddleOfADragStillEndsTheGesture) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    EditorProgram editor;
    ASSERT_TRUE(editor.WaitForWindow());
    DragGainHalfway(editor);
    editor.SendClose();
    EXPECT_EQ(editor.WaitForExit(), 0);
    editor.Xdotool("mouseup 1");
    EXPECT_EQ(LastGesture(editor.Out()), "Gain: gesture ends") << editor.Out();
}

// xdotool windowclose destroys the X window, which AppKit does not report as a close.
TEST(HostEditor, AWindowDestroyedByAnotherClientEndsAsACloseDoes) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    EditorProgram editor;
    ASSERT_TRUE(editor.WaitForWindow());
    DragGainHalfway(editor);
    editor.Xdotool("windowclose " + std::to_string(editor.window));
    EXPECT_EQ(editor.WaitForExit(), 0) << "the program runs on without its window";
    editor.Xdotool("mouseup 1");
    EXPECT_EQ(LastGesture(editor.Out()), "Gain: gesture ends") << editor.Out();
    EXPECT_EQ(editor.Err().find("X-Windows error"), std::string::npos) << editor.Err();
}

// A display that dies (its server killed) in the middle of a drag: Xlib would end the process
// at once; the editor closes instead, ending the gesture.
TEST(HostEditor, ADisplayThatDiesMidDragEndsAsACloseDoes) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    // A server of its own, for this test alone to kill.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t server = fork();
    if (server == 0) {
        close(fds[0]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(fds[1]).c_str(), "-screen", "0",
               "1024x768x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    for (char c = 0; read(fds[0], &c, 1) == 1 && c != '\n';)
        number += c;
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "the second Xvfb did not start";
    const std::string shared = getenv("DISPLAY");
    setenv("DISPLAY", (":" + number).c_str(), 1);
    {
        EditorProgram editor;
        const bool shown = editor.WaitForWindow();
        if (shown) DragGainHalfway(editor);
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
        // The test's own connection died with the server: closing it would end this process.
        editor.display = nullptr;
        ASSERT_TRUE(shown);
        EXPECT_EQ(editor.WaitForExit(), 0) << editor.Err();
        EXPECT_EQ(LastGesture(editor.Out()), "Gain: gesture ends") << editor.Out();
    }
    setenv("DISPLAY", shared.c_str(), 1);
}

TEST(HostEditor, TheMakersLinkOpensWithTheDesktopsHandlerAndCtrlCStillEndsTheProgram) {
    std::string why;
    if (!StartXvfb(&why)) GTEST_SKIP() << why;
    FakeDesktopOpener opener;
    EditorProgram editor;
    ASSERT_TRUE(editor.WaitForWindow());
    editor.MouseTo(300, 500);
    editor.Xdotool("click 1");
    // The handler is still waiting to be let go: the program must not be waiting for it.
    kill(editor.pid, SIGINT);
    EXPECT_EQ(editor.WaitForExit(), 0) << "the program held on after Ctrl-C";
    opener.Release();
    EXPECT_EQ(opener.Arguments(), "https://www.quillmoor.com/zerub\n");
}

} // namespace
