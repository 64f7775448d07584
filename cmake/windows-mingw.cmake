# Shared part of the two Windows toolchain files; TAV_MINGW_TRIPLE names the
# compiler. libyaml comes from build/deps/<triple> (scripts/build-windows-deps),
# RapidJSON's and Boost's headers from the Debian packages (linked into that
# folder, so that no other host header is seen).
set(CMAKE_SYSTEM_NAME Windows)
if(TAV_MINGW_TRIPLE MATCHES "^i686")
  set(CMAKE_SYSTEM_PROCESSOR x86)
else()
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()
set(CMAKE_C_COMPILER ${TAV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAV_MINGW_TRIPLE}-windres)

get_filename_component(TAV_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)
set(TAV_WINDOWS_DEPS_DIR ${TAV_SOURCE_ROOT}/build/deps/${TAV_MINGW_TRIPLE})
if(NOT EXISTS ${TAV_WINDOWS_DEPS_DIR}/.done OR NOT EXISTS ${TAV_WINDOWS_DEPS_DIR}/include/boost)
  execute_process(COMMAND ${TAV_SOURCE_ROOT}/scripts/build-windows-deps ${TAV_MINGW_TRIPLE}
                  RESULT_VARIABLE TAV_DEPS_RESULT)
  if(NOT TAV_DEPS_RESULT EQUAL 0)
    message(FATAL_ERROR "scripts/build-windows-deps ${TAV_MINGW_TRIPLE} failed")
  endif()
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${TAV_MINGW_TRIPLE} ${TAV_WINDOWS_DEPS_DIR})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${TAV_WINDOWS_DEPS_DIR}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine of their width, one prefix per build folder.
if(TAV_MINGW_TRIPLE MATCHES "^x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAV_SOURCE_ROOT}/scripts/wine-run ${CMAKE_BINARY_DIR}/wine)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAV_SOURCE_ROOT}/scripts/wine-run --win32
                                    ${CMAKE_BINARY_DIR}/wine)
endif()
