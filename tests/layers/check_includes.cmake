# Reads every #include of src/ and fails when
#  - a file below the windows includes a header of Qt Gui or Qt Widgets (any header found in
#    QT_INCLUDE_DIRS, by its bare name or as QtGui/... or QtWidgets/...),
#  - a file of one layer includes a header of a layer it may not use (cmake/ZaveloLayers.cmake),
#    or
#  - a window (src/ui/*_window.*) includes another window's header: windows meet only through
#    the run context, and the program wires them together.
# Run as: cmake -DSOURCE_DIR=<source> -DQT_INCLUDE_DIRS=<dirs> -P check_includes.cmake
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/ZaveloLayers.cmake)

# The names a file of Qt Gui or Widgets can be included by.
set(gui_headers "")
foreach(dir IN LISTS QT_INCLUDE_DIRS)
  get_filename_component(module ${dir} NAME)
  if(module MATCHES "^Qt(Gui|Widgets)$" AND IS_DIRECTORY ${dir})
    file(GLOB names RELATIVE ${dir} ${dir}/*)
    list(APPEND gui_headers ${names})
  endif()
endforeach()
if(NOT gui_headers)
  message(FATAL_ERROR "No Qt Gui or Widgets headers found in '${QT_INCLUDE_DIRS}'")
endif()

# The layer a file belongs to: the longest layer folder that holds it.
function(layer_of path out)
  set(found "")
  foreach(layer IN LISTS ZAVELO_LAYERS)
    string(LENGTH "${found}" found_length)
    string(LENGTH "${layer}" length)
    if(path MATCHES "^${layer}/" AND length GREATER found_length)
      set(found ${layer})
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

set(failures "")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}/src
     ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp)
foreach(source IN LISTS sources)
  layer_of(${source} layer)
  if(NOT layer)
    list(APPEND failures "src/${source}: in no layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${source} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "<([^>]+)>")
      set(header ${CMAKE_MATCH_1})
      if(layer IN_LIST ZAVELO_WINDOWLESS_LAYERS
         AND (header IN_LIST gui_headers OR header MATCHES "^Qt(Gui|Widgets)/"))
        list(APPEND failures "src/${source}: ${layer} is below the windows, includes <${header}>")
      endif()
    elseif(line MATCHES "\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
      if(source MATCHES "^ui/([a-z_]+_window)\\." AND header MATCHES "^ui/([a-z_]+_window)\\.h$")
        get_filename_component(own ${source} NAME_WE)
        get_filename_component(other ${header} NAME_WE)
        if(NOT own STREQUAL other)
          list(APPEND failures "src/${source}: a window includes another window, \"${header}\"")
        endif()
      endif()
      layer_of(${header} used)
      if(used AND NOT used STREQUAL layer AND NOT used IN_LIST ZAVELO_USES_${layer})
        list(APPEND failures "src/${source}: ${layer} may not use ${used}, includes \"${header}\"")
      endif()
    endif()
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "Includes that break the layers:\n  ${text}")
endif()
list(LENGTH sources count)
message(STATUS "${count} files of src/ checked: every include keeps to the layers")
