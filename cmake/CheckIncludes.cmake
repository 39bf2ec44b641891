# cmake -DROOT=DIR -DFOLDERS=a;b -P CheckIncludes.cmake: fails, naming each one, when a C, C++ or
# Objective-C++ source under ROOT/<folder> includes or imports a path with a ".." component.
# Such a path resolves beside the including file (or through the folder a link exposes), so it
# reaches any layer whatever the target links. The test suites, which share helpers between
# their folders, are not given to this check.
set(bad)
foreach(folder ${FOLDERS})
  file(GLOB_RECURSE files ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.hpp ${ROOT}/${folder}/*.c
       ${ROOT}/${folder}/*.cpp ${ROOT}/${folder}/*.mm)
  foreach(file ${files})
    file(STRINGS ${file} lines
         REGEX "^[ \t]*#[ \t]*(include|import|include_next)[ \t]*[<\"]([^>\"]*/)?\\.\\./")
    foreach(line ${lines})
      file(RELATIVE_PATH rel ${ROOT} ${file})
      string(STRIP "${line}" line)
      list(APPEND bad "${rel}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(bad)
  list(JOIN bad "\n  " listed)
  message(FATAL_ERROR "includes that climb out of the layers (write folder/header.h and link "
                      "the folder's library):\n  ${listed}")
endif()
