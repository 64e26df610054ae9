# Signs the program that the package holds with Authenticode, when a key is given; run by
# cpack on the files it is about to pack.
set(program ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/certinstall.exe)
if(NOT CPACK_CERTINSTALL_SIGN_PFX)
    message(NOTICE "certinstall.exe is not signed: no key given (CERTINSTALL_SIGN_PFX).")
    return()
endif()
if(NOT CPACK_CERTINSTALL_OSSLSIGNCODE)
    message(FATAL_ERROR "A key is given, but osslsigncode is not installed to sign with it.")
endif()
# The password goes through a file, not the command line that every user can read.
set(password_file ${CPACK_TEMPORARY_DIRECTORY}/sign-password)
file(WRITE ${password_file} "${CPACK_CERTINSTALL_SIGN_PASSWORD}")
execute_process(
    COMMAND ${CPACK_CERTINSTALL_OSSLSIGNCODE} sign -pkcs12 ${CPACK_CERTINSTALL_SIGN_PFX}
            -readpass ${password_file} -h sha256 -n "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}"
            -in ${program} -out ${program}.signed
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(REMOVE ${password_file})
if(NOT status EQUAL 0)
    message(FATAL_ERROR "certinstall.exe could not be signed:\n${output}")
endif()
file(RENAME ${program}.signed ${program})
message(NOTICE "certinstall.exe is signed with ${CPACK_CERTINSTALL_SIGN_PFX}.")
