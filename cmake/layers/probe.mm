// One include, named by the build (see CMakeLists.txt beside this file).
#include ZERUB_PROBE_HEADER
