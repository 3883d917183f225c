# The host unit tests: all program logic against a recording fake of the platform.
enable_testing()
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

add_executable(unit_tests
    tests/unit/fake_platform.cpp
    tests/unit/command_line_test.cpp
    tests/unit/countdown_test.cpp
    tests/unit/integer_conversion_test.cpp
    tests/unit/main_sequence_test.cpp
    tests/unit/texts_test.cpp
    tests/unit/thread_test.cpp)
target_include_directories(unit_tests PRIVATE tests/unit)
target_link_libraries(unit_tests PRIVATE haltix_core haltix_warnings GTest::gtest GTest::gtest_main
                      Threads::Threads)
target_compile_definitions(unit_tests PRIVATE
    HALTIX_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/tests/data")

include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)
