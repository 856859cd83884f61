// The version facts of one Windows release and its system language: what the qualifiers of
// the data files are built from. The running system has one set; a medium checker asks about
// releases it does not run on.
#ifndef INFRASTRUCTURE_RELEASE_FACTS_H
#define INFRASTRUCTURE_RELEASE_FACTS_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/vxinfra_api.h"

// A service pack that could not be queried (the extended version query fails before NT 4.0
// SP6): no service-pack qualifier at all, which is not the same as ".0".
const WORD RELEASE_SERVICE_PACK_UNKNOWN = 0xFFFF;

struct CReleaseFacts
{
    DWORD dwPlatformId;      // 1: the 9x family, 2: the NT family
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;    // a 64-bit 5.2 workstation reads 5.1, as the version record does
    DWORD dwBuildNumber;     // the whole field; qualifiers take its low 16 bits
    WORD wServicePackMajor;  // or RELEASE_SERVICE_PACK_UNKNOWN
    BOOL f64Bit;             // 64-bit Windows (a 32-bit program under WOW64)
    WORD wLanguage;          // the system's default language
};

// The running system's facts: the version record, a fresh service-pack query on the NT family
// and GetSystemDefaultLangID.
VXINFRA_API void GetRunningReleaseFacts(CReleaseFacts* pFacts);

VXINFRA_API unsigned IsNTRelease(const CReleaseFacts& facts);
// "501", "502_64", "410": what GetOSVersion gives on that release.
VXINFRA_API CVxCiString GetOSVersionOf(const CReleaseFacts& facts);

#endif
