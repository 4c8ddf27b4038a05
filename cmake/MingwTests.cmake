# What the tests of the MinGW-w64 cross build need on this Linux machine: GoogleTest compiled
# for Windows, and Wine as CTest's emulator, so that gtest_discover_tests lists the cases and
# CTest runs them as it does on Linux.
include(${CMAKE_CURRENT_LIST_DIR}/MingwGTest.cmake)

find_program(ZAVELO_WINE NAMES wine REQUIRED)

# Where the program's DLLs come from: the Qt of the toolchain and the MinGW runtime.
include(${CMAKE_CURRENT_LIST_DIR}/QtLocation.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/MingwRuntime.cmake)

set(ZAVELO_WINE_DLL_PATH "")
foreach(dir ${ZAVELO_QT_BIN_DIR} ${ZAVELO_MINGW_RUNTIME_DIRS})
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

# Which tests run under Wine. Firebird is not there (no fbclient.dll, no server, no isql), so a
# test program that needs it throughout is not built; CTest shows it as skipped, with the
# reason, in place of its cases. A program that needs it in some cases runs the others.
set(ZAVELO_WINE_FIREBIRD_REASON "needs Firebird, which this Wine prefix lacks (no fbclient.dll, no server, no isql-fb)")
set(ZAVELO_WINE_SKIPPED_PROGRAMS generation_window_test unattended_test
                                 report_mailing_window_test selection_window_test)
# program -> the cases that need Firebird (a GoogleTest negative filter)
set(ZAVELO_WINE_FILTER_db_test
    "-Modes/*:FbStatusTest.*:ConnectionLoadTest.QueryBeforeConectarbaseUsesTheCreationParameters")
set(ZAVELO_WINE_FILTER_mail_test "-ReportMailerTest.*")
set(ZAVELO_WINE_FILTER_export_test "-Modes/DailyExportTest.*")

# Each test program is one CTest test here, not one per case as on Linux: every case would
# start Wine again, which costs seconds each and adds up to many minutes. GoogleTest's own
# output lists the cases.
function(zavelo_add_wine_test name)
  if(name IN_LIST ZAVELO_WINE_SKIPPED_PROGRAMS)
    set_property(TARGET ${name} PROPERTY EXCLUDE_FROM_ALL TRUE)
    add_test(NAME ${name}
             COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED under Wine: ${name} ${ZAVELO_WINE_FIREBIRD_REASON}")
    set_tests_properties(${name} PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED under Wine")
    return()
  endif()
  set(args "")
  if(DEFINED ZAVELO_WINE_FILTER_${name})
    set(args "--gtest_filter=${ZAVELO_WINE_FILTER_${name}}")
    add_test(NAME ${name}.firebird_cases
             COMMAND ${CMAKE_COMMAND} -E echo
                     "SKIPPED under Wine: ${name} cases ${ZAVELO_WINE_FILTER_${name}} ${ZAVELO_WINE_FIREBIRD_REASON}")
    set_tests_properties(${name}.firebird_cases PROPERTIES
                         SKIP_REGULAR_EXPRESSION "SKIPPED under Wine")
  endif()
  add_test(NAME ${name} COMMAND ${name} ${args})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()
