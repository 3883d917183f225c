# haltix.exe: a static GUI-subsystem program that imports nothing but system libraries.
target_compile_options(haltix_core PRIVATE -ffunction-sections -fdata-sections)

add_executable(haltix WIN32
    platform/win32_main.cpp
    platform/win32_platform.cpp)
target_compile_options(haltix PRIVATE -ffunction-sections -fdata-sections)
target_link_libraries(haltix PRIVATE haltix_core haltix_warnings)
target_link_options(haltix PRIVATE -static -Wl,--gc-sections)
include(cmake/windows_release.cmake)
include(cmake/e2e_tests.cmake)
