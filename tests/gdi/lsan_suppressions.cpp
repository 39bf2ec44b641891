// Fontconfig keeps the configuration it parses on first use for the life of the process and
// never frees it; LeakSanitizer would report that at exit. Only fontconfig's own allocations
// are exempt: a leak anywhere in this project's code is still reported.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
