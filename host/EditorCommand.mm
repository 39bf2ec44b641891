#include "host/EditorCommand.h"

#import <AppKit/AppKit.h>

#include "host/AtomicFile.h"
#include "host/HostApi.h"
#include "host/ParamAssignment.h"

#import <GNUstepGUI/GSDisplayServer.h>

#include <AudioUnit/AUCocoaUIView.h>
#include <ZerubPlatform/HostExtensions.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>

// Ends the window's run loop when the user closes it, and fits the window to its view when the
// view changes its size (the user's zoom), as a macOS host does.
@interface ZerubHostWindowWatcher : NSObject {
@public
    bool closed;
    NSSize fitted; // the content size last given to the window
    bool fitting;
}
- (void)windowWillClose:(NSNotification*)notification;
- (void)viewFrameDidChange:(NSNotification*)notification;
@end

@implementation ZerubHostWindowWatcher
- (void)windowWillClose:(NSNotification*)notification {
    (void)notification; // an Objective-C parameter cannot go unnamed
    closed = true;
}
- (void)viewFrameDidChange:(NSNotification*)notification {
    NSView* view = [notification object];
    NSWindow* window = [view window];
    if (fitting || !window || [window contentView] != view) return;
    const NSSize size = [view frame].size;
    if (NSEqualSizes(size, fitted)) return;
    fitted = size;
    // GNUstep's window grows its content view by the window's own change, on top of the size
    // the view has already taken: the view is given its size back.
    fitting = true;
    [window setContentSize:size];
    if (!NSEqualSizes([view frame].size, size)) [view setFrameSize:size];
    fitting = false;
}
@end

namespace {

// Prints what the unit announces, as a host records automation. Events may come from any
// thread; each line is written whole.
struct EventPrinter {
    AudioUnit unit = nullptr;
    std::vector<ParameterDescription> parameters;
    std::ostream* out = nullptr;
    std::mutex lock;

    const std::string* NameOf(AudioUnitParameterID id) const {
        for (const ParameterDescription& p : parameters)
            if (p.id == id) return &p.name;
        return nullptr;
    }

    static void Receive(void* refCon, void*, const AudioUnitEvent* event, UInt64,
                        AudioUnitParameterValue value) {
        auto* self = static_cast<EventPrinter*>(refCon);
        if (!event || event->mEventType == kAudioUnitEvent_PropertyChange) return;
        const AudioUnitParameter& p = event->mArgument.mParameter;
        if (p.mAudioUnit != self->unit) return;
        const std::string* name = self->NameOf(p.mParameterID);
        const std::string label = name ? Printable(*name) : std::to_string(p.mParameterID);
        char line[160];
        switch (event->mEventType) {
        case kAudioUnitEvent_ParameterValueChange:
            std::snprintf(line, sizeof line, "%s %.3f", label.c_str(), double(value));
            break;
        case kAudioUnitEvent_BeginParameterChangeGesture:
            std::snprintf(line, sizeof line, "%s: gesture begins", label.c_str());
            break;
        case kAudioUnitEvent_EndParameterChangeGesture:
            std::snprintf(line, sizeof line, "%s: gesture ends", label.c_str());
            break;
        default:
            return;
        }
        std::lock_guard<std::mutex> guard(self->lock);
        *self->out << line << std::endl;
    }
};

NSString* ToNS(const std::string& text) {
    return [NSString stringWithUTF8String:text.c_str()];
}

// Asks the unit for its Cocoa view factory and the factory for the view (retained), as a macOS
// host does: the class by the name the unit reports, found once the bundle is loaded. At a scale
// other than 1 the factory is asked again with the view's own size times the scale as the
// preferred size, which the editor fills by drawing at that scale.
Status OpenView(AudioUnit unit, double scale, NSView** view) {
    AudioUnitCocoaViewInfo info = {};
    UInt32 size = sizeof info;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_CocoaUI, kAudioUnitScope_Global, 0, &info,
                             &size) != noErr ||
        size < sizeof info)
        return Status::Fail("the unit has no Cocoa editor");
    const std::string className = FromCFString(info.mCocoaAUViewClass[0]);
    if (info.mCocoaAUViewClass[0]) CFRelease(info.mCocoaAUViewClass[0]);
    if (info.mCocoaAUViewBundleLocation) CFRelease(info.mCocoaAUViewBundleLocation);

    Class factoryClass = NSClassFromString(ToNS(className));
    if (!factoryClass || ![factoryClass conformsToProtocol:@protocol(AUCocoaUIBase)])
        return Status::Fail("the unit's view factory " + Printable(className) +
                            " is not in its bundle");
    id<AUCocoaUIBase> factory = [[factoryClass alloc] init];
    *view = [[factory uiViewForAudioUnit:unit withSize:NSMakeSize(0, 0)] retain];
    if (*view && scale != 1.0) {
        const NSSize natural = [*view frame].size;
        [*view release];
        const NSSize wanted =
            NSMakeSize(std::round(natural.width * scale), std::round(natural.height * scale));
        *view = [[factory uiViewForAudioUnit:unit withSize:wanted] retain];
    }
    [(id)factory release];
    if (!*view) return Status::Fail("the unit's view factory gave no view");
    return Status::Ok();
}

// While it lives, the process's XDG_CONFIG_HOME is an empty folder of its own, so that a unit
// opening its view reads no setting this user made (the zoom chosen in an earlier editor): a
// snapshot is the editor as the unit draws it, the same for every user.
class FreshUserSettings {
public:
    FreshUserSettings() {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        std::string folder = std::filesystem::temp_directory_path(ignored_).string();
        folder += "/zerub-host-settings-XXXXXX";
        if (mkdtemp(&folder[0])) folder_ = folder;
        // Without a folder, one that cannot exist: the unit then reads nothing either.
        setenv("XDG_CONFIG_HOME", folder_.empty() ? "/nonexistent/zerub-host" : folder_.c_str(), 1);
    }
    ~FreshUserSettings() {
        if (hadOld_)
            setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored_);
    }
    FreshUserSettings(const FreshUserSettings&) = delete;
    FreshUserSettings& operator=(const FreshUserSettings&) = delete;

private:
    std::error_code ignored_;
    std::string folder_, old_;
    bool hadOld_ = false;
};

std::string UnitName(AudioUnit unit) {
    CFStringRef name = nullptr;
    std::string text = "Zerub";
    if (AudioComponentCopyName(AudioComponentInstanceGetComponent(unit), &name) == noErr && name) {
        text = Printable(FromCFString(name));
        CFRelease(name);
    }
    return text;
}

// The view's own drawing of itself, as PNG.
Status WriteSnapshot(NSView* view, const std::string& path) {
    const NSRect bounds = [view bounds];
    NSBitmapImageRep* rep = [view bitmapImageRepForCachingDisplayInRect:bounds];
    if (!rep) return Status::Fail("cannot draw the editor into an image");
    // GNUstep reads the image back from the window's buffer: the view draws itself into it first.
    [view display];
    [view cacheDisplayInRect:bounds toBitmapImageRep:rep];
    NSData* png = [rep representationUsingType:NSPNGFileType properties:[NSDictionary dictionary]];
    if (!png) return Status::Fail("cannot encode the editor's image as PNG");
    return WriteFileAtomically(path, [png bytes], [png length]);
}

volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int) {
    gInterrupted = 1;
}

} // namespace

// GNUstep's X11 server object hands out its connection.
@interface GSDisplayServer (ZerubHostXDisplay)
- (void*)xDisplay;
@end

namespace {

// The application's X connection, or null when the back end is not X11.
void* AppXDisplay() {
    GSDisplayServer* server = GSCurrentServer();
    return [server respondsToSelector:@selector(xDisplay)] ? [server xDisplay] : nullptr;
}

// The X window behind an AppKit window (GNUstep's X11 back end keeps it as the window device).
unsigned long XWindowOf(NSWindow* window) {
    return reinterpret_cast<unsigned long>([GSCurrentServer() windowDevice:[window windowNumber]]);
}

// Runs the window's events and timers until the user closes it, interrupts the program (SIGINT,
// SIGTERM), another client destroys the window or the display goes: each ends it as a close does.
void RunUntilClosed(NSWindow* window, DisplayWatch& watch) {
    gInterrupted = 0;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    struct sigaction oldInt, oldTerm;
    sigaction(SIGINT, &action, &oldInt);
    sigaction(SIGTERM, &action, &oldTerm);
    ZerubHostWindowWatcher* watcher = [[ZerubHostWindowWatcher alloc] init];
    watcher->closed = false;
    [[NSNotificationCenter defaultCenter] addObserver:watcher
                                             selector:@selector(windowWillClose:)
                                                 name:NSWindowWillCloseNotification
                                               object:window];
    NSView* view = [window contentView];
    watcher->fitted = [view frame].size;
    watcher->fitting = false;
    [view setPostsFrameChangedNotifications:YES];
    [[NSNotificationCenter defaultCenter] addObserver:watcher
                                             selector:@selector(viewFrameDidChange:)
                                                 name:NSViewFrameDidChangeNotification
                                               object:view];
    [window makeKeyAndOrderFront:nil];
    while (!watcher->closed && !gInterrupted && !watch.WindowGone() &&
           !DisplayWatch::DisplayLost()) {
        NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
        // A signal does not wake the event wait: look at the flag ten times a second.
        NSEvent* event = [NSApp nextEventMatchingMask:NSAnyEventMask
                                            untilDate:[NSDate dateWithTimeIntervalSinceNow:0.1]
                                               inMode:NSDefaultRunLoopMode
                                              dequeue:YES];
        if (event) [NSApp sendEvent:event];
        [pool release];
    }
    [[NSNotificationCenter defaultCenter] removeObserver:watcher];
    [watcher release];
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGTERM, &oldTerm, nullptr);
}

Status ShowEditor(AudioUnit unit, const EditorOptions& options, EventPrinter* printer) {
    // GNUstep's application icon is a window of its own beside the editor: not for a plug-in
    // host. Registered, so a user's own setting still wins.
    [[NSUserDefaults standardUserDefaults]
        registerDefaults:[NSDictionary dictionaryWithObject:@"YES" forKey:@"GSSuppressAppIcon"]];
    [NSApplication sharedApplication];
    NSView* view = nil;
    {
        std::unique_ptr<FreshUserSettings> fresh;
        if (!options.snapshot.empty()) fresh = std::make_unique<FreshUserSettings>();
        if (Status s = OpenView(unit, options.scale, &view); !s) return s;
    }

    const NSRect frame = [view frame];
    NSWindow* window = [[NSWindow alloc]
        initWithContentRect:NSMakeRect(100.0, 100.0, frame.size.width, frame.size.height)
                  styleMask:NSTitledWindowMask | NSClosableWindowMask | NSMiniaturizableWindowMask
                    backing:NSBackingStoreBuffered
                      defer:NO];
    [window setReleasedWhenClosed:NO];
    [window setTitle:ToNS(UnitName(unit))];
    [window setContentView:view];

    Status result = Status::Ok();
    AUEventListenerRef listener = nullptr;
    // Lives through the closing below, which on a destroyed window or a lost display talks to X
    // in vain.
    std::unique_ptr<DisplayWatch> watch;
    if (!options.snapshot.empty()) {
        result = WriteSnapshot(view, options.snapshot);
        if (result) *printer->out << options.snapshot << "  the editor as its view draws it\n";
    } else {
        listener = ZerubAddEventListener(&EventPrinter::Receive, printer);
        watch = std::make_unique<DisplayWatch>(XWindowOf(window), AppXDisplay());
        RunUntilClosed(window, *watch);
    }
    // Taking the view out of its window closes the editor, which ends a gesture that a drag cut
    // short: the listener stays until then, so that end is printed too.
    [window orderOut:nil];
    [window setContentView:nil];
    [view release];
    [window release];
    if (listener) ZerubRemoveEventListener(listener);
    watch.reset();
    return result;
}

} // namespace

bool EditorAvailable() {
    return true;
}

Status RunEditor(const EditorOptions& options, std::ostream& out) {
    if (!(options.scale >= 1.0 && options.scale <= 4.0))
        return Status::Fail("editor: --scale must be a factor from 1 to 4");
    UnitInstance instance;
    if (Status s = OpenInstance(options.component, &instance); !s) return s;
    EventPrinter printer;
    printer.unit = instance.get();
    printer.out = &out;
    if (Status s = ReadParameters(instance.get(), &printer.parameters); !s) return s;
    std::vector<ParamAssignment> assignments;
    if (Status s = ResolveParams(options.params, printer.parameters, &assignments); !s) return s;
    // Without a window server GNUstep's application object aborts the process: say so first.
    if (!EditorDisplayAvailable())
        return Status::Fail("editor: no display to open a window on (set DISPLAY, or run under "
                            "xvfb-run)");
    if (const OSStatus status = AudioUnitInitialize(instance.get()); status != noErr)
        return Status::Fail("cannot initialise the unit: " + StatusText(status));
    if (Status s = ApplyParams(instance.get(), assignments); !s) return s;

    Status result = Status::Ok();
    {
        // Without a window manager GNUstep notes each window style it cannot measure.
        StderrFilter quiet("Failed to determine offsets for style");
        NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
        result = ShowEditor(instance.get(), options, &printer);
        [pool release];
    }
    AudioUnitUninitialize(instance.get());
    return result;
}
