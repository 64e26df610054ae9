# The installer as a Windows program: crypt32 stores, the bundle as the RCDATA resource
# "ROOTS" in Russian, the window on the Windows API.
enable_language(RC)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
target_link_libraries(za_stores PUBLIC crypt32 advapi32)

# The programs need Vista or later, as their manifest says, and two links of the same objects
# give the same bytes: no time stamp in the header.
add_link_options(-Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0
                 -Wl,--major-os-version,6 -Wl,--minor-os-version,0 -Wl,--no-insert-timestamp)

add_library(za_gui STATIC gui/ConsoleApplication.cpp gui/LoggedApplication.cpp
    gui/win32/Win32Application.cpp)
target_link_libraries(za_gui PUBLIC za_platform user32 gdi32)

# The bundle as a resource; before it, what else the file is to carry.
function(bundle_resource rc file before)
    file(CONFIGURE OUTPUT ${rc} CONTENT "${before}
LANGUAGE 0x19, 0x01 // Russian: 1049
ROOTS RCDATA \"${file}\"
")
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${file})
endfunction()
set(bundle_rc ${CMAKE_BINARY_DIR}/roots.rc)
bundle_resource(${bundle_rc} ${CMAKE_SOURCE_DIR}/resources/roots.zip "")

# The program's icon (drawn by a script at build time), version and manifest.
set(VERSION ${PROJECT_VERSION}.0)
string(REPLACE "." "," VERSION_COMMAS ${VERSION})
set(ICON ${CMAKE_BINARY_DIR}/certinstall.ico)
set(MANIFEST ${CMAKE_BINARY_DIR}/certinstall.manifest)
# Windows loads the common controls only for the program's own processor.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(MANIFEST_ARCHITECTURE amd64)
else()
    set(MANIFEST_ARCHITECTURE x86)
endif()
add_custom_command(OUTPUT ${ICON}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/make_icon.py --ico ${ICON}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_icon.py VERBATIM)
configure_file(resources/certinstall.manifest.in ${MANIFEST} @ONLY)
set(program_rc ${CMAKE_BINARY_DIR}/certinstall.rc)
configure_file(resources/certinstall.rc.in ${program_rc} @ONLY)
set_source_files_properties(${program_rc} PROPERTIES OBJECT_DEPENDS "${ICON};${MANIFEST}")
# The variant with an empty bundle: the linker cannot merge an empty resource from a second
# file, so it comes in the program's own.
set(empty_bundle ${CMAKE_BINARY_DIR}/empty.bin)
file(TOUCH ${empty_bundle})
set(empty_bundle_rc ${CMAKE_BINARY_DIR}/certinstall-emptybundle.rc)
bundle_resource(${empty_bundle_rc} ${empty_bundle} "#include \"${program_rc}\"")
set_property(SOURCE ${empty_bundle_rc} APPEND PROPERTY OBJECT_DEPENDS ${ICON} ${MANIFEST}
                                                                     ${program_rc})

add_executable(certinstall WIN32 installer/certinstall.cpp ${program_rc} ${ICON} ${bundle_rc})
add_executable(certinstall-nobundle WIN32 installer/certinstall.cpp ${program_rc} ${ICON})
add_executable(certinstall-emptybundle WIN32 installer/certinstall.cpp ${empty_bundle_rc} ${ICON})
foreach(variant IN ITEMS certinstall certinstall-nobundle certinstall-emptybundle)
    target_link_libraries(${variant} PRIVATE za_installer za_gui)
endforeach()
