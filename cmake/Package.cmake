# What a user installs: the Linux program as a Debian package with its icon and its menu entry
# (cpack makes certinstall_<version>_amd64.deb), the Windows program as a zip
# (certinstall-<version>-win32.zip).
set(CPACK_PACKAGE_NAME certinstall)
set(CPACK_PACKAGE_CONTACT "certinstall maintainers <maintainers@users.noreply.c-seed-ff1048f5.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "installs the LARKON CA certificates into the user's stores")
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # Beside the program, for the user and the administrator: the README with the roots'
    # thumbprints, and the bundle's certificates and CRLs as files, all taken from the bundle.
    set(windows_files ${CMAKE_CURRENT_BINARY_DIR}/windows-package)
    add_custom_command(OUTPUT ${windows_files}/README.txt
        COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/packaging/windows_files.py
                ${CMAKE_SOURCE_DIR}/resources/roots.zip
                ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt.in ${PROJECT_VERSION}
                ${windows_files}
        DEPENDS ${CMAKE_SOURCE_DIR}/packaging/windows_files.py
                ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt.in
                ${CMAKE_SOURCE_DIR}/resources/roots.zip VERBATIM)
    add_custom_target(package_files ALL DEPENDS ${windows_files}/README.txt)
    install(TARGETS certinstall RUNTIME DESTINATION .)
    install(FILES ${windows_files}/README.txt DESTINATION .)
    install(DIRECTORY ${windows_files}/certificates DESTINATION .)

    # The program is signed in the package, after it is stripped, when a key is given.
    set(CERTINSTALL_SIGN_PFX "" CACHE FILEPATH "PKCS#12 file with the key that signs the program")
    set(CERTINSTALL_SIGN_PASSWORD "" CACHE STRING "the password of CERTINSTALL_SIGN_PFX")
    find_program(OSSLSIGNCODE osslsigncode)
    set(CPACK_CERTINSTALL_SIGN_PFX ${CERTINSTALL_SIGN_PFX})
    set(CPACK_CERTINSTALL_SIGN_PASSWORD ${CERTINSTALL_SIGN_PASSWORD})
    set(CPACK_CERTINSTALL_OSSLSIGNCODE ${OSSLSIGNCODE})
    set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/Sign.cmake)
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
        set(windows_flavour win64)
    else()
        set(windows_flavour win32)
    endif()
    set(CPACK_PACKAGE_FILE_NAME certinstall-${PROJECT_VERSION}-${windows_flavour})
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
    include(CPack)
    return()
endif()

set(icon_theme ${CMAKE_CURRENT_BINARY_DIR}/icon/hicolor)
add_custom_command(OUTPUT ${icon_theme}/48x48/apps/certinstall.png
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/make_icon.py
            --png-theme ${icon_theme}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/make_icon.py VERBATIM)
# Debian keeps a package's changelog and manual page compressed, the same bytes on every build.
function(gzipped name)
    add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
        COMMAND gzip -9 -n -c ${CMAKE_SOURCE_DIR}/packaging/${name}
                > ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz
        DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${name})
endfunction()
gzipped(changelog)
gzipped(certinstall.1)
add_custom_target(package_files ALL
    DEPENDS ${icon_theme}/48x48/apps/certinstall.png ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
            ${CMAKE_CURRENT_BINARY_DIR}/certinstall.1.gz)

install(TARGETS certinstall RUNTIME DESTINATION bin)
install(FILES packaging/certinstall.desktop DESTINATION share/applications)
install(DIRECTORY ${icon_theme} DESTINATION share/icons)
install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION share/doc/certinstall)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/certinstall.1.gz DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION "The certificates and CRLs of the LARKON certification authority
go into the user's own certificate stores (hashed folders usable with OpenSSL)
and into the user's NSS databases, which browsers and mail programs read.
Nothing outside the user's home changes.")
include(CPack)
