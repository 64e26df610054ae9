#pragma once

#include <windows.h>

#include <string>

// Shuts the current user out of a system store, or lets them in again, through the
// permissions of the registry key that holds it: the store then cannot be opened, as on a
// system whose policy forbids it. Returns the registry's error code.
inline LONG SetStoreAccess(const std::wstring& store, bool allowed) {
    const std::wstring path = L"Software\\Microsoft\\SystemCertificates\\" + store;
    HKEY key;
    // The owner may always change the permissions, even while shut out.
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, WRITE_DAC,
                                  nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    ACL nobody;
    InitializeAcl(&nobody, sizeof(nobody), ACL_REVISION);
    // No list grants nothing; a null list grants everything.
    SetSecurityDescriptorDacl(&descriptor, TRUE, allowed ? nullptr : &nobody, FALSE);
    result = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &descriptor);
    RegCloseKey(key);
    return result;
}
