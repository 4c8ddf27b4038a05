# What the tests of the MinGW-w64 cross build need on this Linux machine: GoogleTest compiled
# for Windows, and Wine as CTest's emulator, so that gtest_discover_tests lists the cases and
# CTest runs them as it does on Linux.
include(${CMAKE_CURRENT_LIST_DIR}/MingwGTest.cmake)

find_program(ZAVELO_WINE NAMES wine REQUIRED)

# Where the program's DLLs come from: the Qt of the toolchain, the MinGW runtime and the
# Firebird client the package carries (ZAVELO_FBCLIENT_DIR, cmake/WindowsPackage.cmake).
include(${CMAKE_CURRENT_LIST_DIR}/QtLocation.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/MingwRuntime.cmake)

set(ZAVELO_WINE_DLL_PATH "")
foreach(dir ${ZAVELO_QT_BIN_DIR} ${ZAVELO_MINGW_RUNTIME_DIRS} ${ZAVELO_FBCLIENT_DIR})
  string(REPLACE "/" "\\" dir "Z:${dir}")
  string(APPEND ZAVELO_WINE_DLL_PATH "${dir};")
endforeach()
set(ZAVELO_WINE_PLUGIN_PATH "Z:${ZAVELO_QT_PLUGIN_DIR}")
set(ZAVELO_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.in ${CMAKE_BINARY_DIR}/wine-run
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE
               @ONLY)
# Every test program made from here on runs through it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

# Which tests run under Wine. The Firebird cases reach this machine's Linux server over TCP
# ("127.0.0.1:" + a Linux path; the fixtures make the databases on the Linux side through
# tests/fixtures/host_runner.py). What needs the embedded engine, which the client for Windows
# lacks, is left out, and CTest shows it as skipped with the reason.
set(_embedded "needs Firebird's embedded engine (a database path without a host), which the client for Windows lacks")
# The test programs draw offscreen, and Qt's offscreen platform on Windows has none of the
# system's fonts: what fits in a font is checked on Linux and, under Wine with Wine's Windows
# fonts, in the pictures scripts/windows-screenshots takes.
set(_fonts "measure texts in the forms' fonts, which the offscreen platform of Windows does not have")
# program -> why it does not run under Wine at all
set(ZAVELO_WINE_SKIPPED_unattended_test
    "starts the Linux program as a child with the registry stand-in; the Windows program's starts are tests/windows/wine_end_to_end.py, run by scripts/windows")
# program -> the cases left out, each "pattern|why" (GoogleTest patterns)
set(ZAVELO_WINE_LEFT_OUT_db_test
    "*/Embedded|${_embedded}"
    "ConnectionLoadTest.QueryBeforeConectarbaseUsesTheCreationParameters|${_embedded}")
set(ZAVELO_WINE_LEFT_OUT_export_test "*/Embedded|${_embedded}")
set(ZAVELO_WINE_LEFT_OUT_generation_window_test
    "*/Embedded|${_embedded}" "GenerationFormTest.TitleSizeControlsAndTexts|${_fonts}")
set(ZAVELO_WINE_LEFT_OUT_report_mailing_window_test "*/Embedded|${_embedded}")
set(ZAVELO_WINE_LEFT_OUT_selection_window_test
    "*/Embedded|${_embedded}" "SelectionWindowTest.FormHoldsEveryControlInItsPlace|${_fonts}")

# Each test program is one CTest test here, not one per case as on Linux: every case would
# start Wine again, which costs seconds each and adds up to many minutes. GoogleTest's own
# output lists the cases.
function(zavelo_add_wine_test name)
  if(DEFINED ZAVELO_WINE_SKIPPED_${name})
    set_property(TARGET ${name} PROPERTY EXCLUDE_FROM_ALL TRUE)
    add_test(NAME ${name}
             COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED under Wine: ${name} ${ZAVELO_WINE_SKIPPED_${name}}")
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED under Wine")
    return()
  endif()
  set(args "")
  set(patterns "")
  set(index 0)
  foreach(entry IN LISTS ZAVELO_WINE_LEFT_OUT_${name})
    string(FIND "${entry}" "|" bar)
    string(SUBSTRING "${entry}" 0 ${bar} pattern)
    math(EXPR bar "${bar} + 1")
    string(SUBSTRING "${entry}" ${bar} -1 why)
    list(APPEND patterns ${pattern})
    math(EXPR index "${index} + 1")
    add_test(NAME ${name}.left_out_${index}
             COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED under Wine: ${name} cases ${pattern} ${why}")
    set_tests_properties(${name}.left_out_${index} PROPERTIES
                         SKIP_REGULAR_EXPRESSION "SKIPPED under Wine")
  endforeach()
  if(patterns)
    list(JOIN patterns ":" filter)
    set(args "--gtest_filter=-${filter}")
  endif()
  add_test(NAME ${name} COMMAND ${name} ${args})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()
