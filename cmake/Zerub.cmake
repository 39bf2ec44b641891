# Helpers shared by every folder's CMakeLists.txt.
#
# Layers: headers are included as "folder/header.h", and a target sees a folder only through a
# directory of the build tree that holds one symbolic link named after it (include/<folder>/
# <folder> -> the source folder). A library exports its own folder's directory; it sees another
# folder only by linking that folder's library, so a header of a layer above it, or of one it
# does not link, is not found and the build fails.

# zerub_expose(TARGET SCOPE FOLDER): TARGET (and, with PUBLIC or INTERFACE, whatever links it)
# sees the headers of FOLDER, a folder of the repository.
function(zerub_expose target scope folder)
  set(dir ${PROJECT_BINARY_DIR}/include/${folder})
  if(NOT IS_SYMLINK ${dir}/${folder})
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} ${dir})
endfunction()

# The repository folder (first path component) of the CMakeLists.txt being read, in out_var.
function(zerub_current_folder out_var)
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  string(REGEX REPLACE "/.*" "" folder "${rel}")
  set(${out_var} ${folder} PARENT_SCOPE)
endfunction()

# zerub_library(NAME SOURCES... [DEPS lib...]): a static library of the current folder; it
# exports that folder's headers and, through DEPS, those of the libraries it links.
function(zerub_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  zerub_current_folder(folder)
  zerub_expose(${name} PUBLIC ${folder})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  zerub_layer_library(${name} ${folder})
endfunction()

# zerub_layer_library(TARGET FOLDER): registers a library of a layer, whose links cmake/layers
# checks against the layer order and whose include paths it probes. Its sources are checked for
# includes that climb out of the layer scheme before they compile.
function(zerub_layer_library target folder)
  set_property(TARGET ${target} PROPERTY ZERUB_FOLDER ${folder})
  set_property(GLOBAL APPEND PROPERTY ZERUB_LAYER_LIBRARIES ${target})
  add_dependencies(${target} zerub_include_check)
endfunction()

# zerub_include_check(FOLDERS...): the target zerub_include_check, part of every build, fails
# when a source of FOLDERS includes a path with a ".." component ("../plugin/IParam.h",
# <editor/../au/IPlugAU.h>): such a path is found beside the including file or through a
# folder's link, whatever the target links, so it would pass by the layers.
function(zerub_include_check)
  set(files)
  foreach(folder ${ARGN})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS
         ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.hpp
         ${PROJECT_SOURCE_DIR}/${folder}/*.c ${PROJECT_SOURCE_DIR}/${folder}/*.cpp
         ${PROJECT_SOURCE_DIR}/${folder}/*.mm)
    list(APPEND files ${found})
  endforeach()
  set(stamp ${PROJECT_BINARY_DIR}/zerub_include_check.stamp)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DROOT=${PROJECT_SOURCE_DIR} "-DFOLDERS=${ARGN}"
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${stamp}
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMENT "Checking includes for paths out of the layers"
    VERBATIM)
  add_custom_target(zerub_include_check ALL DEPENDS ${stamp})
endfunction()

# zerub_test(NAME SOURCES... [DEPS lib...] [LABELS label...]): one GoogleTest program registered
# with ctest. It sees the suites' own folder and what it links. Labels let a run leave tests out
# (the quick run skips "daw").
function(zerub_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  zerub_current_folder(folder)
  zerub_expose(${name} PRIVATE ${folder})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE ZERUB_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  include(GoogleTest)
  if(ARG_LABELS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${ARG_LABELS}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()

# zerub_bench(NAME SOURCES... [DEPS lib...]): one Google Benchmark program (never run by ctest).
function(zerub_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${ARG_SOURCES})
  zerub_current_folder(folder)
  zerub_expose(${name} PRIVATE ${folder})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()
