# Cross build for 64-bit ARM Linux with Debian's cross toolchain (g++-aarch64-linux-gnu) and the
# arm64 multiarch libraries; programs built for the target (the Turtle writer at build time, the
# tests) run under qemu-aarch64. scripts/cross-arm64.sh installs all of it and configures with this.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZERUB_TRIPLE aarch64-linux-gnu)

set(CMAKE_C_COMPILER ${ZERUB_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZERUB_TRIPLE}-g++)

# Multiarch: the target's libraries live beside the build machine's, under /usr/lib/<triple>, and
# share /usr/include. Search only the target's for libraries and packages, never build tools.
set(CMAKE_FIND_ROOT_PATH /usr/${ZERUB_TRIPLE})
set(CMAKE_LIBRARY_ARCHITECTURE ${ZERUB_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${ZERUB_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The multiarch loader and libc (libc6:arm64) make a plain qemu-aarch64 enough.
find_program(ZERUB_QEMU qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZERUB_QEMU})
