// Whether the Administrators group is in effect in this process's token: with the rights
// held back (a filtered token, as an administrator's programs get by default), it is there
// but only to deny, and the computer's stores refuse changes.
#include "stores/CertStore.h"

#include <windows.h>

namespace platform {

bool HasAdministratorRights() {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(sid);
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size) &&
           CheckTokenMembership(nullptr, sid, &member) && member;
}

} // namespace platform
