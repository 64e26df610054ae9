# The tests as Windows programs, run under Wine by wine_tests.sh. GoogleTest is built from
# the sources that the system's package ships.
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(engine_tests ${portable_tests} win32/Win32PlatformTest.cpp ${bundle_rc})
target_link_libraries(engine_tests PRIVATE za_installer gtest_main)
target_compile_definitions(engine_tests PRIVATE
    FUZZ_REGRESSIONS_DIR="${CMAKE_SOURCE_DIR}/fuzz/regressions")

# Checks by thumbprint, after an installation, that the stores hold what the bundle says.
add_executable(storecheck win32/StoreCheck.cpp ${bundle_rc})
target_link_libraries(storecheck PRIVATE za_installer)
