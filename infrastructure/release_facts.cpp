#include "infrastructure/release_facts.h"

#include <cstring>

#include "infrastructure/os_version.h"
#include "os_version_internal.h"

namespace
{

OSVERSIONINFOEXA VersionRecordOf(const CReleaseFacts& facts)
{
    OSVERSIONINFOEXA v;
    std::memset(&v, 0, sizeof(v));
    v.dwOSVersionInfoSize = sizeof(v);
    v.dwPlatformId = facts.dwPlatformId;
    v.dwMajorVersion = facts.dwMajorVersion;
    v.dwMinorVersion = facts.dwMinorVersion;
    v.dwBuildNumber = facts.dwBuildNumber;
    return v;
}

// Asked afresh, as the service-pack qualifier always was: the record's copy is not trusted to
// have come from the extended query.
WORD QueryServicePack()
{
    OSVERSIONINFOEXA tVersion;
    std::memset(&tVersion, 0, sizeof(tVersion));
    tVersion.dwOSVersionInfoSize = sizeof(tVersion);
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&tVersion))) return RELEASE_SERVICE_PACK_UNKNOWN;
    return tVersion.wServicePackMajor;
}

}  // namespace

void GetRunningReleaseFacts(CReleaseFacts* pFacts)
{
    if (!pFacts) return;
    const OSVERSIONINFOEXA& v = GetOSVersionRecord();
    pFacts->dwPlatformId = v.dwPlatformId;
    pFacts->dwMajorVersion = v.dwMajorVersion;
    pFacts->dwMinorVersion = v.dwMinorVersion;
    pFacts->dwBuildNumber = v.dwBuildNumber;
    pFacts->f64Bit = Is64BitOS() ? TRUE : FALSE;
    pFacts->wServicePackMajor = IsNT() ? QueryServicePack() : 0;
    pFacts->wLanguage = GetSystemDefaultLangID();
}

unsigned IsNTRelease(const CReleaseFacts& facts) { return os_internal::IsNT(VersionRecordOf(facts), facts.f64Bit); }

CVxCiString GetOSVersionOf(const CReleaseFacts& facts)
{
    return os_internal::GetOSVersion(VersionRecordOf(facts), facts.f64Bit);
}
