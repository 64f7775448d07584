# 64-bit Windows (the same sources; the suite runs under 64-bit Wine), cross-built with
# Debian's MinGW-w64 compilers in their -posix thread variant, so that
# std::thread and std::mutex work. The runtime (libgcc, libstdc++,
# winpthreads) is linked statically: the DLL and the test programs need only
# the system's own DLLs.
set(TAV_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/windows-mingw.cmake)
