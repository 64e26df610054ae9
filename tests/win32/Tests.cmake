# The tests as Windows programs, run under Wine by wine_tests.sh. GoogleTest is built from
# the sources that the system's package ships.
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_executable(engine_tests ${portable_tests} win32/Win32PlatformTest.cpp
                            win32/Win32ProgramTest.cpp ${bundle_rc})
target_link_libraries(engine_tests PRIVATE za_installer gtest_main advapi32 ole32 shell32 version)
target_compile_definitions(engine_tests PRIVATE
    FUZZ_REGRESSIONS_DIR="${CMAKE_SOURCE_DIR}/fuzz/regressions"
    CERTINSTALL_PATH="$<TARGET_FILE:certinstall>")
add_dependencies(engine_tests certinstall)

# Checks by thumbprint, after an installation, that the stores hold what the bundle says.
add_executable(storecheck win32/StoreCheck.cpp ${bundle_rc})
target_link_libraries(storecheck PRIVATE za_installer)

# Shuts the user out of a store and lets them in again.
add_executable(storeaccess win32/StoreAccess.cpp)
target_link_options(storeaccess PRIVATE -municode)
target_link_libraries(storeaccess PRIVATE advapi32)

# Reads a message box off the screen: its icon and its text.
add_executable(boxcheck win32/BoxCheck.cpp)
target_link_options(boxcheck PRIVATE -municode)
target_link_libraries(boxcheck PRIVATE user32 gdi32)
