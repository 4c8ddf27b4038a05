# The MinGW-w64 runtime DLLs a program of the cross build needs beside it: the C++ library and
# the GCC support library (in GCC's own folder) and the POSIX threads library (in the target's
# library folder). Found through the compiler, so that its version decides.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE _zavelo_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_seh-1.dll
                OUTPUT_VARIABLE _zavelo_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE _zavelo_winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
set(ZAVELO_MINGW_RUNTIME_DLLS "")
set(ZAVELO_MINGW_RUNTIME_DIRS "")
foreach(dll ${_zavelo_libstdcxx} ${_zavelo_libgcc} ${_zavelo_winpthread})
  # The compiler gives the bare name back when it does not know the file.
  if(NOT IS_ABSOLUTE ${dll} OR NOT EXISTS ${dll})
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is: the MinGW-w64 "
                        "runtime of the cross compiler is missing")
  endif()
  get_filename_component(dll ${dll} REALPATH)
  get_filename_component(_zavelo_dir ${dll} DIRECTORY)
  list(APPEND ZAVELO_MINGW_RUNTIME_DLLS ${dll})
  list(APPEND ZAVELO_MINGW_RUNTIME_DIRS ${_zavelo_dir})
endforeach()
list(REMOVE_DUPLICATES ZAVELO_MINGW_RUNTIME_DIRS)
