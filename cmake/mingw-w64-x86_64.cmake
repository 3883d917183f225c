# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_PREFIX x86_64-w64-mingw32)
set(MINGW_THREADS posix)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
