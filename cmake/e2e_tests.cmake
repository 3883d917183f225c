# End-to-end tests: the real haltix.exe under Wine, driven by the probe (built by the harness
# with this build's compiler, so that it has the bitness of haltix). All of them share one Wine
# prefix under the build directory, so they never run at the same time.
find_package(Python3 REQUIRED COMPONENTS Interpreter)

function(haltix_e2e_test name script)
    add_test(NAME e2e.${name}
        COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/${script}
            --haltix $<TARGET_FILE:haltix> --build-dir ${CMAKE_BINARY_DIR})
    set_tests_properties(e2e.${name} PROPERTIES RESOURCE_LOCK haltix-wine-prefix TIMEOUT 600
        ENVIRONMENT HALTIX_E2E_CXX=${CMAKE_CXX_COMPILER})
endfunction()

haltix_e2e_test(roads test_e2e.py)
# haltix under each Windows version Wine can report: the NT family works, 95/98/Me refuse.
haltix_e2e_test(compat test_compat.py)
# The countdown notice: labels, widening, /u, texts, lengths, two copies side by side.
haltix_e2e_test(countdown test_countdown.py)
# The notice answered at every moment and by every means; odd and overlong command lines.
haltix_e2e_test(stress test_stress.py)
