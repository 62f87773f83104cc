# The product: update.exe, a statically linked GUI program that imports only
# system DLLs, with its string tables, manifest, icon and embedded packages.
enable_language(RC)

set(WIN_COMPILE_OPTIONS -municode -DUNICODE -D_UNICODE -ffunction-sections -fdata-sections)
set(WIN_LINK_OPTIONS -municode -mwindows -static -static-libgcc -static-libstdc++ -Wl,--gc-sections)
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  list(APPEND WIN_LINK_OPTIONS -s)
  set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
endif()
target_compile_options(update_core PRIVATE ${WIN_COMPILE_OPTIONS})

file(GLOB PLATFORM_WIN32_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp)
add_library(update_win32 STATIC ${PLATFORM_WIN32_SOURCES})
target_link_libraries(update_win32 PUBLIC update_core)
target_compile_options(update_win32 PRIVATE ${WIN_COMPILE_OPTIONS} -Wall -Wextra)
target_link_libraries(update_win32 PUBLIC shell32 advapi32)

# Packages: a resource line per package given, none for an empty option.
set(PACKAGE_RC_LINES "")
set(PACKAGE_FILES "")
foreach(pair "IDR_MSP;UPDATE_GLOBAL_MSP" "IDR_MSP_LP;UPDATE_LANGPACK_MSP")
  list(GET pair 0 res_name)
  list(GET pair 1 option_name)
  set(pkg "${${option_name}}")
  if(NOT pkg STREQUAL "")
    get_filename_component(pkg "${pkg}" ABSOLUTE BASE_DIR "${CMAKE_BINARY_DIR}")
    if(NOT EXISTS "${pkg}" OR IS_DIRECTORY "${pkg}")
      message(FATAL_ERROR "${option_name}: no such package file: ${pkg}")
    endif()
    if(pkg MATCHES "[\"\\\\]")
      message(FATAL_ERROR "${option_name}: the path may not contain a quote or a backslash: ${pkg}")
    endif()
    string(APPEND PACKAGE_RC_LINES "${res_name} MSP \"${pkg}\"\n")
    list(APPEND PACKAGE_FILES "${pkg}")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/packages.rc CONTENT "${PACKAGE_RC_LINES}")

file(GLOB RESOURCE_INPUTS CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/*.rc ${CMAKE_SOURCE_DIR}/res/*.h ${CMAKE_SOURCE_DIR}/res/strings/*.rc
  ${CMAKE_SOURCE_DIR}/res/*.manifest ${CMAKE_SOURCE_DIR}/res/*.ico)
set_source_files_properties(${CMAKE_SOURCE_DIR}/res/update.rc PROPERTIES
  OBJECT_DEPENDS "${RESOURCE_INPUTS};${PACKAGE_FILES};${CMAKE_BINARY_DIR}/generated/packages.rc")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001 -I${CMAKE_BINARY_DIR}/generated -I${CMAKE_SOURCE_DIR}/res")

add_executable(update WIN32 ${CMAKE_SOURCE_DIR}/src/app/win_main.cpp ${CMAKE_SOURCE_DIR}/res/update.rc)
target_compile_options(update PRIVATE ${WIN_COMPILE_OPTIONS})
target_link_options(update PRIVATE ${WIN_LINK_OPTIONS})
target_link_libraries(update PRIVATE update_win32)

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
