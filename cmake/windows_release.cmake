# What makes haltix.exe a releasable Windows program: its resources, its size and imports
# (checked by CTest), and the release zip (the "package" target).
enable_language(RC)

# The version record and the application manifest; the version numbers come from project().
target_sources(haltix PRIVATE platform/haltix.rc)
set_source_files_properties(platform/haltix.rc PROPERTIES
    OBJECT_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/platform/haltix.manifest)
target_compile_definitions(haltix PRIVATE
    $<$<COMPILE_LANGUAGE:RC>:HALTIX_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}>
    $<$<COMPILE_LANGUAGE:RC>:HALTIX_VERSION_MINOR=${PROJECT_VERSION_MINOR}>)

# libstdc++'s default terminate handler prints the pending exception's demangled type name to
# stderr, which a GUI program does not have; the demangler and the formatted printing it pulls
# in are about 70 KiB, a third of the program. Ending at once with abort() is what the library
# does when it is built without that verbose handler, and is all haltix could do there anyway.
# The map file shows what the rest of the program is made of.
# (32-bit x86 Windows puts an underscore before every C and C++ symbol name.)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(HALTIX_SYMBOL_PREFIX _)
else()
    set(HALTIX_SYMBOL_PREFIX "")
endif()
target_link_options(haltix PRIVATE
    -Wl,--defsym,${HALTIX_SYMBOL_PREFIX}_ZN9__gnu_cxx27__verbose_terminate_handlerEv=${HALTIX_SYMBOL_PREFIX}abort
    -Wl,-Map,$<TARGET_FILE_DIR:haltix>/haltix.map)

# The release zip: haltix.exe (stripped), README.md and LICENSE, at the top of the archive.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(HALTIX_PACKAGE_SYSTEM win64)
else()
    set(HALTIX_PACKAGE_SYSTEM win32)
endif()
install(TARGETS haltix RUNTIME DESTINATION .)
install(FILES README.md LICENSE DESTINATION .)
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME haltix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME ${HALTIX_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_FILE_NAME haltix-${PROJECT_VERSION}-${HALTIX_PACKAGE_SYSTEM})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
include(CPack)

# The shipped program: imports, subsystem, resources and stripped size; and the zip's contents.
enable_testing()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME package.exe
    COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/tests/package/check_package.py
        --exe $<TARGET_FILE:haltix>
        --objdump ${CMAKE_OBJDUMP} --strip ${CMAKE_STRIP} --windres ${CMAKE_RC_COMPILER}
        --version ${PROJECT_VERSION}
        --cpack-config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
        --zip-name haltix-${PROJECT_VERSION}-${HALTIX_PACKAGE_SYSTEM}.zip
        --source-dir ${CMAKE_CURRENT_SOURCE_DIR})
