# The Windows resources of an executable: the program's icon (a multi-size .ico made at build
# time from the SVG drawing of the window library), version information from the project's
# version, and the manifest (src/app/windows/).
#
#   zavelo_windows_resources(TARGET FILE_NAME DESCRIPTION)
#
# The .ico is made with rsvg-convert (one PNG per size) and icotool (Debian's icoutils) or, where
# there is no icotool (a users' MSVC build), ImageMagick's magick. MinGW's windres and MSVC's rc
# both compile the same .rc; with MSVC the linker embeds the manifest itself.
enable_language(RC)

find_program(ZAVELO_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ZAVELO_ICOTOOL icotool)
if(NOT ZAVELO_ICOTOOL)
  find_program(ZAVELO_MAGICK magick)
  if(NOT ZAVELO_MAGICK)
    message(FATAL_ERROR "Neither icotool (icoutils) nor magick (ImageMagick) found: one of them "
                        "makes the program's .ico")
  endif()
endif()
if(NOT ZAVELO_ICON_SVG)
  message(FATAL_ERROR "The icon's drawing is not known (src/ui sets ZAVELO_ICON_SVG)")
endif()

set(_zavelo_ico_dir ${CMAKE_BINARY_DIR}/windows-resources)
set(_zavelo_ico ${_zavelo_ico_dir}/zadirod.ico)
set(_zavelo_ico_pngs "")
set(_zavelo_ico_commands "")
foreach(size 16 20 24 32 40 48 64 256)
  set(png ${_zavelo_ico_dir}/zadirod-${size}.png)
  list(APPEND _zavelo_ico_pngs ${png})
  list(APPEND _zavelo_ico_commands COMMAND ${ZAVELO_RSVG_CONVERT} --width=${size}
       --height=${size} --output=${png} ${ZAVELO_ICON_SVG})
endforeach()
list(POP_BACK _zavelo_ico_pngs _zavelo_ico_256)
if(ZAVELO_ICOTOOL)
  # The 256-pixel image is kept as PNG inside the .ico (--raw), as Windows expects it.
  set(_zavelo_ico_make ${ZAVELO_ICOTOOL} --create --output=${_zavelo_ico} ${_zavelo_ico_pngs}
                       --raw=${_zavelo_ico_256})
else()
  set(_zavelo_ico_make ${ZAVELO_MAGICK} ${_zavelo_ico_pngs} ${_zavelo_ico_256} ${_zavelo_ico})
endif()
add_custom_command(
  OUTPUT ${_zavelo_ico}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_zavelo_ico_dir}
  ${_zavelo_ico_commands}
  COMMAND ${_zavelo_ico_make}
  DEPENDS ${ZAVELO_ICON_SVG}
  COMMENT "Making the program's icon zadirod.ico"
  VERBATIM)
add_custom_target(zavelo_icon DEPENDS ${_zavelo_ico})
set(ZAVELO_ICON_ICO ${_zavelo_ico} CACHE INTERNAL "the program's icon as a Windows .ico")

# The version as Windows writes it: four numbers.
set(ZAVELO_RC_VERSION_DOTS "")
set(ZAVELO_RC_VERSION_COMMAS "")
foreach(part MAJOR MINOR PATCH TWEAK)
  set(number "${PROJECT_VERSION_${part}}")
  if(number STREQUAL "")
    set(number 0)
  endif()
  list(APPEND ZAVELO_RC_VERSION_DOTS ${number})
  list(APPEND ZAVELO_RC_VERSION_COMMAS ${number})
endforeach()
list(JOIN ZAVELO_RC_VERSION_DOTS "." ZAVELO_RC_VERSION_DOTS)
list(JOIN ZAVELO_RC_VERSION_COMMAS "," ZAVELO_RC_VERSION_COMMAS)
set(ZAVELO_RC_COMPANY "ZadiRod")
set(ZAVELO_RC_COPYRIGHT "© 2025-2026 ZadiRod")
set(ZAVELO_RC_ICON ${_zavelo_ico})

set(_zavelo_resources_dir ${CMAKE_CURRENT_LIST_DIR}/../src/app/windows)
configure_file(${_zavelo_resources_dir}/zadirod.manifest ${_zavelo_ico_dir}/zadirod.manifest
               @ONLY)

function(zavelo_windows_resources target file_name description)
  set(ZAVELO_RC_FILE_NAME ${file_name})
  set(ZAVELO_RC_DESCRIPTION ${description})
  set(manifest ${_zavelo_ico_dir}/zadirod.manifest)
  if(MSVC)
    set(ZAVELO_RC_MANIFEST_LINE "")
    target_sources(${target} PRIVATE ${manifest})
  else()
    # 1 = the manifest a process is created with; 24 = RT_MANIFEST.
    set(ZAVELO_RC_MANIFEST_LINE "1 24 \"${manifest}\"")
  endif()
  set(rc ${_zavelo_ico_dir}/${target}.rc)
  configure_file(${_zavelo_resources_dir}/zadirod.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${_zavelo_ico};${manifest}")
  add_dependencies(${target} zavelo_icon)
endfunction()
