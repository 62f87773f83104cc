# cmake -D ROOT=src -P check_file_calls.cmake: fails when a source of ROOT
# calls a function of the system or of the C and C++ libraries that creates,
# moves or deletes a file or folder outside the platform layer's held-folder
# functions (platform/win32/win32_file_system.cpp), where every create and
# open goes through one native call with FILE_OPEN_REPARSE_POINT and every
# delete through a handle. Elsewhere in platform/win32 a CreateFileW with
# OPEN_EXISTING may open a file to read it (the program's own image).
set(held_folder_functions "platform/win32/win32_file_system.cpp")
set(calls "CreateFile[AW2]?|CreateDirectory(Ex)?[AW]?|DeleteFile[AW]?|RemoveDirectory[AW]?|MoveFile(Ex|WithProgress)?[AW]?|CopyFile(Ex|2)?[AW]?|ReplaceFile[AW]?|CreateHardLink[AW]?|CreateSymbolicLink[AW]?|ReOpenFile|OpenFileById|SetFileInformationByHandle|GetTempFileName[AW]?|[NZ]tCreateFile|[NZ]tOpenFile|[NZ]tDeleteFile|[NZ]tSetInformationFile|_w?fopen(_s)?|_w?sopen(_s)?|_w?open|_w?creat|_w?remove|_w?rename|_w?mkdir|_w?rmdir|fopen|freopen|tmpfile|rename|mkdir|rmdir|unlink")
file(GLOB_RECURSE files RELATIVE ${ROOT} ${ROOT}/*.cpp ${ROOT}/*.h)
set(found "")
foreach(name ${files})
  if(name STREQUAL held_folder_functions)
    continue()
  endif()
  file(STRINGS ${ROOT}/${name} lines REGEX "(^|[^A-Za-z0-9_.>:])(${calls})[ \t]*\\(|std::(w?[io]?fstream|filesystem)")
  foreach(line ${lines})
    if(name MATCHES "^platform/win32/" AND line MATCHES "CreateFileW[ \t]*\\(.*OPEN_EXISTING")
      continue()
    endif()
    string(STRIP "${line}" line)
    string(APPEND found "  ${name}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "files created, moved or deleted outside the held-folder functions of "
                      "src/${held_folder_functions}; go through platform::HeldFolder instead:\n${found}")
endif()
