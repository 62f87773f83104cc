# The product: update.exe, a statically linked GUI program that imports only
# system DLLs, with its string tables, manifest, icon and embedded packages.
enable_language(RC)

set(WIN_COMPILE_OPTIONS -municode -DUNICODE -D_UNICODE -ffunction-sections -fdata-sections)
# Sections aligned to whole pages in the file (4 KiB, as in memory): the loader
# can then map the image, embedded packages included, instead of reading all of
# it before the program starts.
set(WIN_LINK_OPTIONS -municode -mwindows -static -static-libgcc -static-libstdc++ -Wl,--gc-sections
    -Wl,--file-alignment,4096)
# Hardening, in every Windows build of the code: a stack protector on every function with an
# array or an address taken, and the checked forms of the C library's copy functions. Every link
# names the protector too, so that it brings its runtime (libssp) in, statically.
# UPDATE_LEAVE_OUT is for bench/hardening.sh alone, which measures what each part costs in size.
set(UPDATE_LEAVE_OUT "" CACHE STRING "Hardening left out, for bench/hardening.sh only: stack-protector, fortify, lld")
if(NOT "stack-protector" IN_LIST UPDATE_LEAVE_OUT)
  list(APPEND WIN_COMPILE_OPTIONS -fstack-protector-strong)
  add_link_options(-fstack-protector-strong)
endif()
if(NOT "fortify" IN_LIST UPDATE_LEAVE_OUT)
  list(APPEND WIN_COMPILE_OPTIONS -D_FORTIFY_SOURCE=2)
endif()
# ASLR (high-entropy on x64), DEP, and Terminal-Server-aware (Windows gives the program no
# per-session compatibility shims).
list(APPEND WIN_LINK_OPTIONS -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  list(APPEND WIN_LINK_OPTIONS -Wl,--high-entropy-va)
endif()
# update.exe itself is linked by LLVM's linker (cmake/mingw-lld.sh), which fills the
# load-configuration directory from the program's _load_config_used (src/app/win_main.cpp) and
# marks the image compatible with CET shadow stacks; GNU ld 2.40 does neither.
if(NOT "lld" IN_LIST UPDATE_LEAVE_OUT)
  find_program(UPDATE_LLD ld.lld REQUIRED)
  # The wrapper is handed the linker found here as its first argument (the driver splits the
  # -wrapper value at commas).
  if(UPDATE_LLD MATCHES "[, ]" OR CMAKE_SOURCE_DIR MATCHES "[, ]")
    message(FATAL_ERROR "the paths of ld.lld and of the source tree may not hold a comma or a space: "
                        "${UPDATE_LLD}, ${CMAKE_SOURCE_DIR}")
  endif()
  list(APPEND WIN_LINK_OPTIONS "SHELL:-wrapper ${CMAKE_SOURCE_DIR}/cmake/mingw-lld.sh,${UPDATE_LLD}"
       -Wl,--Xlink=-cetcompat)
elseif(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  list(APPEND WIN_LINK_OPTIONS -Wl,--no-insert-timestamp)
endif()
# The same sources, packages and options give the same bytes, wherever and whenever they are
# built: no build folder in the image, and the header's time stamp (which the checksum covers) is
# SOURCE_DATE_EPOCH when that is set, else 0 (cmake/mingw-lld.sh passes it on).
list(APPEND WIN_COMPILE_OPTIONS -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  list(APPEND WIN_LINK_OPTIONS -s)
  set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
endif()
foreach(layer ${UPDATE_LAYERS})
  target_compile_options(update_${layer} PRIVATE ${WIN_COMPILE_OPTIONS})
endforeach()

# The real platform services: part of the platform layer, with its include root.
file(GLOB PLATFORM_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp)
add_library(update_win32 STATIC ${PLATFORM_WIN32_SOURCES})
target_include_directories(update_win32 PRIVATE ${UPDATE_LAYER_ROOT_platform})
target_compile_options(update_win32 PRIVATE ${WIN_COMPILE_OPTIONS} -Wall -Wextra)
target_link_libraries(update_win32 PUBLIC update_platform shell32 advapi32)

# Packages: a resource line per package given, none for an empty option. The line names a
# one-byte placeholder; cmake/add_packages.py puts the package itself into the linked image (the
# resource compiler and the linker would each hold it whole in memory).
set(PACKAGE_RC_LINES "")
set(PACKAGE_FILES "")
set(PACKAGE_ARGUMENTS "")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/package-placeholder CONTENT "\n")
foreach(pair "IDR_MSP;UPDATE_GLOBAL_MSP" "IDR_MSP_LP;UPDATE_LANGPACK_MSP")
  list(GET pair 0 res_name)
  list(GET pair 1 option_name)
  set(pkg "${${option_name}}")
  if(NOT pkg STREQUAL "")
    get_filename_component(pkg "${pkg}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
    if(NOT EXISTS "${pkg}" OR IS_DIRECTORY "${pkg}")
      message(FATAL_ERROR "${option_name}: no such package file: ${pkg}")
    endif()
    string(APPEND PACKAGE_RC_LINES "${res_name} MSP \"${CMAKE_BINARY_DIR}/generated/package-placeholder\"\n")
    list(APPEND PACKAGE_FILES "${pkg}")
    list(APPEND PACKAGE_ARGUMENTS "${res_name}=${pkg}")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/packages.rc CONTENT "${PACKAGE_RC_LINES}")

# Version information and icon: generated/branding.h. build.sh writes the vendor's values
# (scripts/branding.py) and names that file here; without one the installer keeps its own names
# and the project's version.
set(UPDATE_BRANDING_HEADER "" CACHE FILEPATH "Version-information header written by scripts/branding.py (may be empty)")
set(UPDATE_ICON "" CACHE FILEPATH "Icon (.ico) of update.exe (empty: res/update.ico)")
set(branding_icon "${UPDATE_ICON}")
if(branding_icon STREQUAL "")
  set(branding_icon "${CMAKE_SOURCE_DIR}/res/update.ico")
endif()
get_filename_component(branding_icon "${branding_icon}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
if(NOT EXISTS "${branding_icon}" OR IS_DIRECTORY "${branding_icon}")
  message(FATAL_ERROR "UPDATE_ICON: no such icon file: ${branding_icon}")
endif()
if(branding_icon MATCHES "[\"\\\\]")
  message(FATAL_ERROR "UPDATE_ICON: the path may not contain a quote or a backslash: ${branding_icon}")
endif()
if(NOT UPDATE_BRANDING_HEADER STREQUAL "")
  file(READ "${UPDATE_BRANDING_HEADER}" branding_values)
else()
  set(branding_values "#define UPDATE_VERSION_NUMBERS ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0
#define UPDATE_VERSION_TEXT \"${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0\"
#define UPDATE_PRODUCT_NAME \"msp-bootstrap\"
#define UPDATE_FILE_DESCRIPTION \"Update installer\"
")
endif()
# Written through a copy, so that an unchanged header does not rebuild the resources.
file(WRITE ${CMAKE_BINARY_DIR}/branding.h.new "#define UPDATE_ICON_FILE \"${branding_icon}\"\n${branding_values}")
configure_file(${CMAKE_BINARY_DIR}/branding.h.new ${CMAKE_BINARY_DIR}/generated/branding.h COPYONLY)

file(GLOB RESOURCE_INPUTS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/*.rc ${CMAKE_SOURCE_DIR}/res/*.h ${CMAKE_SOURCE_DIR}/res/strings/*.rc
  ${CMAKE_SOURCE_DIR}/res/*.manifest ${CMAKE_SOURCE_DIR}/res/*.ico)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/update.rc PROPERTIES
  OBJECT_DEPENDS "${RESOURCE_INPUTS};${CMAKE_BINARY_DIR}/generated/packages.rc;${CMAKE_BINARY_DIR}/generated/branding.h;${branding_icon}")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -I${CMAKE_BINARY_DIR}/generated -I${CMAKE_SOURCE_DIR}/res")

# The program as linked, with placeholders for its packages (update-linked.exe); then update.exe,
# target update: that image with the packages put in and the header's checksum written, whichever
# linker linked. Another package needs no new link.
add_executable(update_linked WIN32 ${CMAKE_SOURCE_DIR}/src/app/win_main.cpp ${CMAKE_SOURCE_DIR}/res/update.rc)
set_target_properties(update_linked PROPERTIES OUTPUT_NAME update-linked)
target_compile_options(update_linked PRIVATE ${WIN_COMPILE_OPTIONS})
target_link_options(update_linked PRIVATE ${WIN_LINK_OPTIONS})
target_include_directories(update_linked PRIVATE ${UPDATE_LAYER_ROOT_app})
target_link_libraries(update_linked PRIVATE update_app update_win32)
find_program(UPDATE_PYTHON3 python3 REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/update.exe
  COMMAND ${UPDATE_PYTHON3} -B ${CMAKE_SOURCE_DIR}/cmake/add_packages.py $<TARGET_FILE:update_linked>
          ${CMAKE_BINARY_DIR}/update.exe ${PACKAGE_ARGUMENTS}
  DEPENDS update_linked ${PACKAGE_FILES} ${CMAKE_SOURCE_DIR}/cmake/add_packages.py VERBATIM)
add_custom_target(update ALL DEPENDS ${CMAKE_BINARY_DIR}/update.exe)

if(EXISTS ${CMAKE_SOURCE_DIR}/tests/e2e/CMakeLists.txt)
  add_subdirectory(tests/e2e)
endif()

# Probe programs that exercise the product's code under Wine, one folder each.
file(GLOB PROBE_LISTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/programs/*/CMakeLists.txt)
foreach(list_file ${PROBE_LISTS})
  get_filename_component(probe_dir ${list_file} DIRECTORY)
  get_filename_component(probe_name ${probe_dir} NAME)
  add_subdirectory(${probe_dir} ${CMAKE_BINARY_DIR}/probes/${probe_name})
endforeach()
