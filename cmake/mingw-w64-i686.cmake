# Cross-compiles for 32-bit Windows with Debian's mingw-w64 (win32 thread model: the program
# starts its threads itself, and winpthread would import functions NT 4.0, 2000 and XP lack).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(MINGW_PREFIX i686-w64-mingw32)
set(MINGW_THREADS win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
