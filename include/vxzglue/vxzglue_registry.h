// Registry values and keys given as paths under a root key; every failure goes to the install log.
#ifndef VXZGLUE_VXZGLUE_REGISTRY_H
#define VXZGLUE_VXZGLUE_REGISTRY_H

#include <windows.h>

#include "infrastructure/ci_string.h"

// The Glue's own RegDeleteKey and RegDeleteValue take paths; the system's ANSI calls are
// spelled out as RegDeleteKeyA and RegDeleteValueA wherever they are meant.
#undef RegDeleteKey
#undef RegDeleteValue

// samView picks the registry view of a 32-bit program on 64-bit Windows (KEY_WOW64_64KEY); 0 is
// the program's own view. Releases before XP x64 refuse the flag: pass it only on 64-bit Windows.
bool RegGetStringValue(const CVxCiString& sPath, const CVxCiString& sValueName, CVxCiString* psValueData,
                       bool fLogFailure = true, HKEY hkRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);
bool RegSetStringValue(const CVxCiString& sPath, const CVxCiString& sValueName, const CVxCiString& sValueData,
                       bool fLogFailure = true, HKEY hkRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);
bool RegGetDwordValue(const CVxCiString& sPath, const CVxCiString& sValueName, DWORD* pdwValueData,
                      bool fLogFailure = true, HKEY hkRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);
// Retries with pauses of 100, 200, 300 ... ms until nMaxRetries or MaxSleepTime is reached.
bool RegRetryGetDwordValue(const CVxCiString& sPath, const CVxCiString& sValueName, DWORD* pdwValueData,
                           unsigned nMaxRetries, unsigned MaxSleepTime, HKEY hkRoot = HKEY_LOCAL_MACHINE,
                           REGSAM samView = 0);
bool RegSetDwordValue(const CVxCiString& sPath, const CVxCiString& sValueName, DWORD dwValueData,
                      bool fLogFailure = true, HKEY hkRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);
bool RegDeleteValue(const CVxCiString& sPath, const CVxCiString& sValueName, bool fLogFailure = true,
                    HKEY hkRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);
bool RegDeleteKey(const CVxCiString& sPath, bool fRecursive, HKEY hkRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);
bool RegRecursiveDeleteKey(HKEY hRegKey, const CVxCiString& sSubkey, REGSAM samView = 0);
// True when sPath can be opened for reading in the view samView.
bool RegKeyExists(const CVxCiString& sPath, HKEY hkRoot = HKEY_LOCAL_MACHINE, REGSAM samView = 0);

#endif
