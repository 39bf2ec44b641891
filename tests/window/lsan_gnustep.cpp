// Programs linked with GNUstep: its Objective-C runtime, Foundation, AppKit and drawing backend
// keep class tables, caches and the application's objects for the life of the process, which
// LeakSanitizer would report at exit (even when a test program only lists its tests). Only
// allocations made inside those libraries (and fontconfig's, as in tests/lsan.supp) are exempt.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libobjc.so\n"
           "leak:libgnustep-base.so\n"
           "leak:libgnustep-gui.so\n"
           "leak:libgnustep-cairo-029\n"
           "leak:libgnustep-back-029\n";
}
