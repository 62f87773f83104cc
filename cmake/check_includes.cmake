# cmake -D ROOT=src -P check_includes.cmake: fails when an include in ROOT
# names a path with "..", which would step around the include roots that keep
# each layer to the layers below it (cmake/layers.cmake).
file(GLOB_RECURSE files ${ROOT}/*.cpp ${ROOT}/*.h)
set(found "")
foreach(file ${files})
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\.")
  foreach(line ${lines})
    file(RELATIVE_PATH name ${ROOT} ${file})
    string(APPEND found "  ${name}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "includes that climb out of their folder; include \"layer/file.h\" instead:\n${found}")
endif()
