# The program's layers: one static library per folder of src/, each allowed to
# include and link only the layers below it that it names here.
#
#   app       entry point, command line, patch run
#   report    the "/i" report and its system description
#   ui        message catalogue and message boxes
#   package   extraction, target records, summary information
#   products  installed products, four-part versions
#   platform  the services that reach Windows (src/platform/win32 for the real ones)
#
# Each layer compiles against an include root of its own that holds only its
# own folder and the folders of the layers it may use (links into src/), so an
# include that runs upwards or sideways fails to compile. New .cpp files in a
# layer's folder join its library by themselves. To add an arrow, name the
# lower layer below; to find who uses what, read the table below.

set(UPDATE_SOURCE_ROOT ${CMAKE_SOURCE_DIR}/src)
set(UPDATE_LAYERS platform products package ui report app)

# update_layer_uses(LAYER [PUBLIC lower...] [PRIVATE lower...]): PUBLIC for
# the layers that LAYER's own headers include, PRIVATE for those only its .cpp
# files include.
function(update_layer_uses layer)
  cmake_parse_arguments(USES "" "" "PUBLIC;PRIVATE" ${ARGN})
  set(UPDATE_LAYER_PUBLIC_${layer} "${USES_PUBLIC}" PARENT_SCOPE)
  set(UPDATE_LAYER_PRIVATE_${layer} "${USES_PRIVATE}" PARENT_SCOPE)
endfunction()

update_layer_uses(platform)
update_layer_uses(products PRIVATE platform)
update_layer_uses(package PUBLIC platform)
update_layer_uses(ui PUBLIC platform)
update_layer_uses(report PUBLIC products PRIVATE package platform)
update_layer_uses(app PUBLIC platform package products ui report)

# The layers that `layer` may include: itself and, transitively, every layer it names.
function(update_layer_reach layer out)
  set(reach ${layer})
  set(todo ${layer})
  while(todo)
    list(POP_FRONT todo current)
    foreach(lower ${UPDATE_LAYER_PUBLIC_${current}} ${UPDATE_LAYER_PRIVATE_${current}})
      if(NOT lower IN_LIST reach)
        list(APPEND reach ${lower})
        list(APPEND todo ${lower})
      endif()
    endforeach()
  endwhile()
  set(${out} ${reach} PARENT_SCOPE)
endfunction()

# The include roots: build/layers/LAYER/NAME -> src/NAME for each reachable
# layer; a link that is no longer allowed is taken away.
foreach(layer ${UPDATE_LAYERS})
  update_layer_reach(${layer} reach)
  set(root ${CMAKE_BINARY_DIR}/layers/${layer})
  file(MAKE_DIRECTORY ${root})
  foreach(name ${UPDATE_LAYERS})
    if(name IN_LIST reach)
      file(CREATE_LINK ${UPDATE_SOURCE_ROOT}/${name} ${root}/${name} SYMBOLIC RESULT link_result)
      if(NOT link_result STREQUAL "0")
        message(FATAL_ERROR "cannot link the include root of layer ${layer}: ${link_result}")
      endif()
    elseif(IS_SYMLINK ${root}/${name})
      file(REMOVE ${root}/${name})
    endif()
  endforeach()
  set(UPDATE_LAYER_ROOT_${layer} ${root})
endforeach()

# update_layer_libraries(SUFFIX [compile options...]): the six libraries,
# named update_LAYER${SUFFIX}, and update_core${SUFFIX}, an interface over all
# of them with the whole of src/ to include, for the tests and probe programs.
# Called once for the program and once more for builds with other options
# (the fuzz targets).
function(update_layer_libraries suffix)
  foreach(layer ${UPDATE_LAYERS})
    file(GLOB sources CONFIGURE_DEPENDS ${UPDATE_SOURCE_ROOT}/${layer}/*.cpp)
    list(REMOVE_ITEM sources ${UPDATE_SOURCE_ROOT}/app/win_main.cpp)
    set(target update_${layer}${suffix})
    add_library(${target} STATIC ${sources})
    target_include_directories(${target} PRIVATE ${UPDATE_LAYER_ROOT_${layer}})
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
      target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
    endif()
    target_compile_options(${target} PRIVATE ${ARGN})
    foreach(lower ${UPDATE_LAYER_PUBLIC_${layer}})
      target_link_libraries(${target} PUBLIC update_${lower}${suffix})
    endforeach()
    foreach(lower ${UPDATE_LAYER_PRIVATE_${layer}})
      target_link_libraries(${target} PRIVATE update_${lower}${suffix})
    endforeach()
    add_dependencies(${target} update_layer_check)
  endforeach()
  # The generated version header belongs to the app layer.
  target_include_directories(update_app${suffix} PRIVATE ${CMAKE_BINARY_DIR}/generated)

  add_library(update_core${suffix} INTERFACE)
  target_include_directories(update_core${suffix} INTERFACE ${UPDATE_SOURCE_ROOT} ${CMAKE_BINARY_DIR}/generated)
  foreach(layer ${UPDATE_LAYERS})
    target_link_libraries(update_core${suffix} INTERFACE update_${layer}${suffix})
  endforeach()
endfunction()

# The include roots leave one way around them: a path that climbs out of its
# folder ("../app/switches.h"). This check refuses such includes in src/
# before any layer compiles, whenever a source changes.
file(GLOB_RECURSE UPDATE_ALL_SOURCES CONFIGURE_DEPENDS ${UPDATE_SOURCE_ROOT}/*.cpp ${UPDATE_SOURCE_ROOT}/*.h)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/layers/check.stamp
  COMMAND ${CMAKE_COMMAND} -D ROOT=${UPDATE_SOURCE_ROOT} -P ${CMAKE_SOURCE_DIR}/cmake/check_includes.cmake
  COMMAND ${CMAKE_COMMAND} -D ROOT=${UPDATE_SOURCE_ROOT} -P ${CMAKE_SOURCE_DIR}/cmake/check_file_calls.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/layers/check.stamp
  DEPENDS ${UPDATE_ALL_SOURCES} ${CMAKE_SOURCE_DIR}/cmake/check_includes.cmake
          ${CMAKE_SOURCE_DIR}/cmake/check_file_calls.cmake
  COMMENT "Checking the includes of src/, and that files are made and deleted only through the held folders"
  VERBATIM)
add_custom_target(update_layer_check DEPENDS ${CMAKE_BINARY_DIR}/layers/check.stamp)
