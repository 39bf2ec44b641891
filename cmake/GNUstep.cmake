# AppKit and Foundation for the Cocoa layer, from GNUstep: Objective-C++ (.mm) with manual
# retain/release, compiled by the C++ compiler (gobjc++). GNUstep's headers come in as system
# headers, so the project's warnings apply to the project's own files only.
#
# Defines the interface target zerub_gnustep; ZERUB_COCOA is ON when it is available.
if(NOT CMAKE_OBJCXX_COMPILER)
  set(CMAKE_OBJCXX_COMPILER ${CMAKE_CXX_COMPILER})
endif()
enable_language(OBJCXX)
set(CMAKE_OBJCXX_STANDARD 17)
set(CMAKE_OBJCXX_EXTENSIONS OFF)

find_program(GNUSTEP_CONFIG gnustep-config)
find_package(X11)
if(NOT GNUSTEP_CONFIG OR NOT X11_FOUND)
  message(FATAL_ERROR "The Cocoa editor needs GNUstep and Xlib (scripts/packages.txt), "
                      "or configure with -DZERUB_COCOA=OFF")
endif()
execute_process(COMMAND ${GNUSTEP_CONFIG} --variable=GNUSTEP_SYSTEM_HEADERS
                OUTPUT_VARIABLE GNUSTEP_HEADERS OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${GNUSTEP_CONFIG} --variable=GNUSTEP_SYSTEM_LIBRARIES
                OUTPUT_VARIABLE GNUSTEP_LIBRARIES OUTPUT_STRIP_TRAILING_WHITESPACE)

add_library(zerub_gnustep INTERFACE)
target_include_directories(zerub_gnustep SYSTEM INTERFACE ${GNUSTEP_HEADERS})
target_compile_definitions(zerub_gnustep INTERFACE GNUSTEP GNUSTEP_BASE_LIBRARY=1
                           GNU_GUI_LIBRARY=1 GNU_RUNTIME=1 _NATIVE_OBJC_EXCEPTIONS)
# GNUstep reports some failures (no X server) as Objective-C exceptions, so they must unwind.
target_compile_options(zerub_gnustep INTERFACE
  $<$<COMPILE_LANGUAGE:OBJCXX>:-fobjc-exceptions -fexceptions -fno-strict-aliasing
  -fconstant-string-class=NSConstantString -Wno-import>)
target_link_directories(zerub_gnustep INTERFACE ${GNUSTEP_LIBRARIES})
target_link_libraries(zerub_gnustep INTERFACE gnustep-gui gnustep-base objc X11::X11)
