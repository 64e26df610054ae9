# The installer as a Windows program: crypt32 stores, the bundle as the RCDATA resource
# "ROOTS" in Russian, the window on the Windows API.
enable_language(RC)
target_link_libraries(za_installer PUBLIC crypt32)

add_library(za_gui STATIC platform/win32/Win32Application.cpp)
target_link_libraries(za_gui PUBLIC za_installer user32 gdi32)

set(BUNDLE ${CMAKE_SOURCE_DIR}/resources/roots.zip)
set(bundle_rc ${CMAKE_BINARY_DIR}/roots.rc)
file(CONFIGURE OUTPUT ${bundle_rc} CONTENT "LANGUAGE 0x19, 0x01 // Russian: 1049
ROOTS RCDATA \"@BUNDLE@\"
" @ONLY)
set_source_files_properties(${bundle_rc} PROPERTIES OBJECT_DEPENDS ${BUNDLE})

add_executable(certinstall WIN32 installer/certinstall.cpp ${bundle_rc})
target_link_libraries(certinstall PRIVATE za_gui)
