# GoogleTest for the MinGW-w64 cross build: Debian ships its sources (googletest, in
# /usr/src/googletest) but no Windows libraries, so they are compiled here with the cross
# compiler, as part of this build, and stand in for what find_package(GTest) gives elsewhere.
set(ZAVELO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${ZAVELO_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${ZAVELO_GTEST_SOURCE_DIR} (Debian: googletest)")
endif()

# A test library of its own: not installed, not packaged, built the way the tests are.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ZAVELO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# GoogleTest's own build names its targets GTest::gtest and so on, as find_package does.
foreach(target gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${target})
    add_library(GTest::${target} ALIAS ${target})
  endif()
endforeach()
