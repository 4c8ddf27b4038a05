# What a Windows install of ZadiRod holds besides the program, and the two packages made of it
# with CPack: ZadiRod-<version>-win64.zip and an NSIS installer for 64-bit Windows (win32 for a
# 32-bit MSVC kit).
#
# bin/ holds ZadiRod.exe (installed by src/app) with, beside it, the Qt DLLs it links, the
# plug-ins it loads (in the folders Qt looks for beside the program), in a MinGW build the
# compiler's runtime DLLs, the console companion ZadiRod.com, and the Firebird client the
# program loads from its own folder (fbclient.dll with zlib1.dll and firebird.msg), so that it
# works whatever client, of whatever bitness, the ERP's machine has. licencias/ holds the
# notices of the program and its third-party parts and the licence texts they name,
# licencias/firebird-client/ the Firebird client's. The ERP's registry key belongs to the ERP.

# The Qt modules the program links, and the plug-ins it needs on a desktop: the Windows
# platform, the native look, and TLS through Schannel (the only TLS backend Windows Qt builds
# carry here; the program's STARTTLS goes through it).
set(_zavelo_qt_modules Core Gui Widgets Network)
set(_zavelo_qt_plugins
    platforms/qwindows
    styles/qwindowsvistastyle
    tls/qschannelbackend)

foreach(module ${_zavelo_qt_modules})
  install(FILES $<TARGET_FILE:Qt6::${module}> DESTINATION bin)
endforeach()

include(${CMAKE_CURRENT_LIST_DIR}/QtLocation.cmake)
foreach(plugin ${_zavelo_qt_plugins})
  get_filename_component(_zavelo_plugin_folder ${plugin} DIRECTORY)
  if(NOT EXISTS ${ZAVELO_QT_PLUGIN_DIR}/${plugin}.dll)
    message(FATAL_ERROR "Qt plug-in ${plugin}.dll not found in ${ZAVELO_QT_PLUGIN_DIR}")
  endif()
  install(FILES ${ZAVELO_QT_PLUGIN_DIR}/${plugin}.dll DESTINATION bin/${_zavelo_plugin_folder})
endforeach()

if(MINGW)
  include(${CMAKE_CURRENT_LIST_DIR}/MingwRuntime.cmake)
  install(FILES ${ZAVELO_MINGW_RUNTIME_DLLS} DESTINATION bin)
  # The DLLs come with their symbol tables (libstdc++ is 23 MB with them, 2 MB without); the
  # program does not need them, so the installed copies lose them.
  if(CMAKE_STRIP)
    install(CODE "
      file(GLOB_RECURSE _zavelo_dlls \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/*.dll\")
      foreach(_zavelo_dll \${_zavelo_dlls})
        execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\${_zavelo_dll}\"
                        RESULT_VARIABLE _zavelo_rc)
        if(NOT _zavelo_rc EQUAL 0)
          message(FATAL_ERROR \"cannot strip \${_zavelo_dll}\")
        endif()
      endforeach()")
  endif()
endif()

# The Firebird client: a folder with fbclient.dll, zlib1.dll, firebird.msg and licenses/, as
# ../shared/toolchains/fbclient-3.0-mingw64.tar.xz unpacks (the preset windows-mingw names it).
# An MSVC build may name the folder of the Firebird client kit of its own bitness; without one
# the package carries no client and the program takes the system's.
set(ZAVELO_FBCLIENT_DIR "" CACHE PATH
    "Folder with the Firebird client (fbclient.dll, zlib1.dll, firebird.msg, licenses/) to put in the package")
if(MINGW AND NOT ZAVELO_FBCLIENT_DIR)
  message(FATAL_ERROR "ZAVELO_FBCLIENT_DIR must name the Firebird client for 64-bit Windows "
                      "(../shared/toolchains/fbclient-3.0-mingw64.tar.xz unpacked): the package "
                      "carries it")
endif()
if(ZAVELO_FBCLIENT_DIR)
  foreach(file fbclient.dll zlib1.dll firebird.msg)
    if(NOT EXISTS ${ZAVELO_FBCLIENT_DIR}/${file})
      message(FATAL_ERROR "${file} not found in ZAVELO_FBCLIENT_DIR (${ZAVELO_FBCLIENT_DIR})")
    endif()
    install(FILES ${ZAVELO_FBCLIENT_DIR}/${file} DESTINATION bin)
  endforeach()
  if(EXISTS ${ZAVELO_FBCLIENT_DIR}/licenses)
    install(DIRECTORY ${ZAVELO_FBCLIENT_DIR}/licenses/ DESTINATION licencias/firebird-client)
  endif()
endif()

# The notices of the program and of the third-party parts the package carries (the installer's
# licence page), and the licence texts they name, in licencias/: Windows text (CR LF).
set(_zavelo_notices_dir ${CMAKE_BINARY_DIR}/windows-package)
configure_file(${CMAKE_CURRENT_LIST_DIR}/nsis/AVISOS.txt ${_zavelo_notices_dir}/AVISOS.txt.lf @ONLY)
set(_zavelo_notices "")
foreach(text ${_zavelo_notices_dir}/AVISOS.txt.lf ${CMAKE_CURRENT_LIST_DIR}/nsis/licencias/LGPL-3.txt
        ${CMAKE_CURRENT_LIST_DIR}/nsis/licencias/GPL-3.txt)
  get_filename_component(name ${text} NAME)
  string(REGEX REPLACE "\\.lf$" "" name ${name})
  file(READ ${text} content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(CONFIGURE OUTPUT ${_zavelo_notices_dir}/${name} CONTENT "${content}" @ONLY)
  list(APPEND _zavelo_notices ${_zavelo_notices_dir}/${name})
endforeach()
install(FILES ${_zavelo_notices} DESTINATION licencias)

# The packages.
set(CPACK_PACKAGE_NAME "ZadiRod")
set(CPACK_PACKAGE_VENDOR "ZadiRod")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "ZadiRod ZAVELO: daily inventory and sales reports from a Halvori company database")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_zavelo_bits 64)
else()
  set(_zavelo_bits 32)  # a 32-bit MSVC kit
endif()
set(CPACK_PACKAGE_FILE_NAME "ZadiRod-${PROJECT_VERSION}-win${_zavelo_bits}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ZadiRod ZAVELO")
# The installer's own key (Software\ZadiRod\ZadiRod ZAVELO and the Uninstall entry of that
# name): the ERP's key, Software\QVT\Halvori2025, is never written or removed.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "ZadiRod ZAVELO")
set(CPACK_PACKAGE_EXECUTABLES "ZadiRod;ZadiRod ZAVELO")
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)

# NSIS: a Unicode installer of the program's bitness into Program Files. makensis makes 32-bit
# ones by default, which a 64-bit-only Wine cannot start; Debian's nsis has the amd64 stubs.
if(_zavelo_bits EQUAL 64)
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
else()
  set(CPACK_NSIS_DEFINES "Target x86-unicode")
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
endif()
# The project's own NSIS template (nsis/NSIS.template.in): Spanish pages, a complete Uninstall
# key, no key left behind.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/nsis)
set(CPACK_RESOURCE_FILE_LICENSE ${_zavelo_notices_dir}/AVISOS.txt)
if(ZAVELO_ICON_ICO)
  set(CPACK_NSIS_MUI_ICON ${ZAVELO_ICON_ICO})
  set(CPACK_NSIS_MUI_UNIICON ${ZAVELO_ICON_ICO})
endif()
set(CPACK_NSIS_PACKAGE_NAME "ZadiRod ZAVELO")
set(CPACK_NSIS_DISPLAY_NAME "ZadiRod ZAVELO")
set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\\\ZadiRod.exe")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY bin)
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")

include(CPack)
