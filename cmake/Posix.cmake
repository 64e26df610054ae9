# The installer on Linux: stores on libcrypto and the user's NSS databases, the bundle linked
# in as a table, FLTK.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
# The window links FLTK's base and image libraries by name; OpenGL is not looked for.
set(FLTK_SKIP_OPENGL ON)
find_package(FLTK REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(NSS REQUIRED IMPORTED_TARGET nss)
# Firefox keeps its profile groups in SQLite files.
pkg_check_modules(SQLITE3 REQUIRED IMPORTED_TARGET sqlite3)

# NSS's and SQLite's headers are seen by the stores' database code alone.
target_sources(za_stores PRIVATE
    stores/posix/BrowserPolicies.cpp
    stores/posix/CertificateNames.cpp
    stores/posix/DataFolder.cpp
    stores/posix/HashedFolder.cpp
    stores/posix/LockFile.cpp
    stores/posix/MachineCertStore.cpp
    stores/posix/MachineFiles.cpp
    stores/posix/NssDatabase.cpp
    stores/posix/NssDatabaseDiscovery.cpp
    stores/posix/NssDatabases.cpp
    stores/posix/TrustAnchors.cpp)
# The browsers' policy files are JSON.
find_package(nlohmann_json REQUIRED)
target_link_libraries(za_stores PUBLIC OpenSSL::Crypto PRIVATE PkgConfig::NSS PkgConfig::SQLITE3
                                                              nlohmann_json::nlohmann_json)

# The bundle linked in as the resource "ROOTS"; the variants without it and with an empty
# one serve the tests of a missing bundle.
function(embedded_resources output)
    set(input "")
    if("${ARGN}" MATCHES "-DINPUT=(.+)")
        set(input ${CMAKE_MATCH_1})
    endif()
    add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -DNAME=ROOTS ${ARGN} -DOUTPUT=${output}
                -P ${CMAKE_SOURCE_DIR}/resources/embed.cmake
        DEPENDS ${CMAKE_SOURCE_DIR}/resources/embed.cmake ${input}
        VERBATIM)
endfunction()
set(roots_resource ${CMAKE_CURRENT_BINARY_DIR}/roots_resource.cpp)
set(no_resource ${CMAKE_CURRENT_BINARY_DIR}/no_resource.cpp)
set(empty_resource ${CMAKE_CURRENT_BINARY_DIR}/empty_resource.cpp)
embedded_resources(${roots_resource} -DINPUT=${CMAKE_SOURCE_DIR}/resources/roots.zip)
embedded_resources(${no_resource})
embedded_resources(${empty_resource} -DINPUT=)

# The program's icon, drawn by the same script as the Windows program's.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(icon_header ${CMAKE_CURRENT_BINARY_DIR}/icon/certinstall_icon.h)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/icon)
add_custom_command(OUTPUT ${icon_header}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/make_icon.py --header ${icon_header}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_icon.py VERBATIM)

find_package(X11 REQUIRED)
add_library(za_gui STATIC
    gui/ConsoleApplication.cpp
    gui/LoggedApplication.cpp
    gui/posix/FltkApplication.cpp
    gui/posix/FltkFrame.cpp
    gui/posix/FltkMessageBox.cpp
    gui/posix/IconTheme.cpp
    ${icon_header})
target_include_directories(za_gui PRIVATE ${FLTK_INCLUDE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/icon)
target_link_libraries(za_gui PUBLIC za_platform ${FLTK_IMAGES_LIBRARY} ${FLTK_BASE_LIBRARY}
                                    X11::X11)

add_executable(certinstall installer/certinstall.cpp ${roots_resource})
add_executable(certinstall-nobundle installer/certinstall.cpp ${no_resource})
add_executable(certinstall-emptybundle installer/certinstall.cpp ${empty_resource})
foreach(variant IN ITEMS certinstall certinstall-nobundle certinstall-emptybundle)
    target_link_libraries(${variant} PRIVATE za_installer za_gui)
endforeach()
