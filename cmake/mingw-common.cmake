# Shared part of the MinGW-w64 toolchain files; MINGW_TRIPLE is set by the caller.
# The win32 thread-model compilers: the program has one thread, and without the
# POSIX thread runtime update.exe is smaller.
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-win32)
# A build folder that detected other compilers before detects them anew.
foreach(_lang C CXX)
  file(GLOB _detected "${CMAKE_BINARY_DIR}/CMakeFiles/*/CMake${_lang}Compiler.cmake")
  foreach(_file ${_detected})
    file(STRINGS "${_file}" _line REGEX "^set\\(CMAKE_${_lang}_COMPILER \"")
    string(FIND "${_line}" "/${CMAKE_${_lang}_COMPILER}\"" _same)
    if(_same EQUAL -1)
      file(REMOVE "${_file}")
    endif()
  endforeach()
endforeach()
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Cross-built test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-emulator.sh)
