#include "vxzglue/vxzglue_registry.h"

#include <memory>
#include <new>

#include "diag/install_log.h"
#include "vx_owners.h"

namespace
{

const char* OrNull(const CVxCiString& s) { return s.empty() ? "NULL" : s.c_str(); }

// Once set, a value is in the registry for every reader, whether or not the flush reached the
// disk (the registry writes it out lazily anyway). A failed flush therefore does not turn a
// write into a failure that callers would act on while the Glue already reads the value.
void FlushWrittenKey(HKEY hKey) { RegFlushKey(hKey); }

}  // namespace

bool RegGetStringValue(const CVxCiString& sPath, const CVxCiString& sValueName, CVxCiString* psValueData,
                       bool fLogFailure, HKEY hkRoot, REGSAM samView)
{
    if (sPath.empty()) return LOG_CONDITION_FAILED("sPath.empty()");
    if (sValueName.empty()) return LOG_CONDITION_FAILED("sValueName.empty()");
    if (psValueData == 0) return LOG_CONDITION_FAILED("psValueData == 0");
    if (hkRoot == 0) return LOG_CONDITION_FAILED("hkRoot == 0");

    bool fResult = false;
    CUniqueRegKey hKey;
    LONG lResult = RegOpenKeyExA(hkRoot, sPath.c_str(), 0, KEY_READ | samView, hKey.Put());
    if (lResult != ERROR_SUCCESS)
    {
        LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
    }
    else
    {
        DWORD dwType = 0, cbData = 0;
        lResult = RegQueryValueExA(hKey.Get(), sValueName.c_str(), NULL, &dwType, NULL, &cbData);
        if (lResult != ERROR_SUCCESS)
        {
            // A missing value is an ordinary answer: only the summary line tells of it.
        }
        else if (dwType != REG_SZ)
        {
            LOG_CONDITION_FAILED("dwType != REG_SZ");
        }
        else if (cbData == 0)
        {
            LOG_CONDITION_FAILED("cbData == 0");
        }
        else
        {
            // One spare zero byte: a stored text need not carry its terminator. A size the
            // heap cannot give is a failure like any other, not an exception.
            std::unique_ptr<char[]> pbData(new (std::nothrow) char[static_cast<size_t>(cbData) + 1]);
            if (pbData.get() == 0)
            {
                LOG_CONDITION_FAILED("pbData == 0");
            }
            else
            {
                pbData[cbData] = '\0';
                lResult = RegQueryValueExA(hKey.Get(), sValueName.c_str(), NULL, &dwType,
                                           reinterpret_cast<BYTE*>(pbData.get()), &cbData);
                if (lResult != ERROR_SUCCESS)
                {
                    LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
                }
                else
                {
                    pbData[cbData] = '\0';
                    *psValueData = pbData.get();
                    fResult = true;
                }
            }
        }
    }
    if (lResult != ERROR_SUCCESS && fLogFailure)
    {
        g_InstallLog.LogMessage(0, "RegGetStringValue (%s, %s) Failed, lResult = %d", sPath.c_str(),
                                sValueName.c_str(), static_cast<int>(lResult));
    }
    return fResult;
}

bool RegSetStringValue(const CVxCiString& sPath, const CVxCiString& sValueName, const CVxCiString& sValueData,
                       bool fLogFailure, HKEY hkRoot, REGSAM samView)
{
    if (sPath.empty()) return LOG_CONDITION_FAILED("sPath.empty()");
    if (sValueName.empty()) return LOG_CONDITION_FAILED("sValueName.empty()");
    if (sValueData.empty()) return LOG_CONDITION_FAILED("sValueData.empty()");
    if (hkRoot == 0) return LOG_CONDITION_FAILED("hkRoot == 0");

    CUniqueRegKey hKey;
    LONG lResult = RegCreateKeyExA(hkRoot, sPath.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE, KEY_WRITE | samView,
                                   NULL, hKey.Put(), NULL);
    if (lResult == ERROR_SUCCESS)
    {
        lResult = RegSetValueExA(hKey.Get(), sValueName.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(sValueData.c_str()),
                                 static_cast<DWORD>(sValueData.size() + 1));
    }
    if (lResult == ERROR_SUCCESS)
    {
        FlushWrittenKey(hKey.Get());
        return true;
    }

    LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
    if (fLogFailure)
    {
        g_InstallLog.LogMessage(0, "RegSetStringValue (%s, %s, %s) Failed, lResult = %d", sPath.c_str(),
                                sValueName.c_str(), sValueData.c_str(), static_cast<int>(lResult));
    }
    return false;
}

bool RegGetDwordValue(const CVxCiString& sPath, const CVxCiString& sValueName, DWORD* pdwValueData,
                      bool fLogFailure, HKEY hkRoot, REGSAM samView)
{
    if (sPath.empty()) return LOG_CONDITION_FAILED("sPath.empty()");
    if (sValueName.empty()) return LOG_CONDITION_FAILED("sValueName.empty()");
    if (pdwValueData == 0) return LOG_CONDITION_FAILED("pdwValueData == 0");
    if (hkRoot == 0) return LOG_CONDITION_FAILED("hkRoot == 0");

    bool fResult = false;
    CUniqueRegKey hKey;
    LONG lResult = RegOpenKeyExA(hkRoot, sPath.c_str(), 0, KEY_READ | samView, hKey.Put());
    DWORD dwType = 0, cbData = 0;
    if (lResult == ERROR_SUCCESS)
        lResult = RegQueryValueExA(hKey.Get(), sValueName.c_str(), NULL, &dwType, NULL, &cbData);
    if (lResult != ERROR_SUCCESS)
    {
        LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
    }
    else if (dwType != REG_DWORD)
    {
        LOG_CONDITION_FAILED("dwType != REG_DWORD");
    }
    else if ((cbData == 0) || (cbData != sizeof(DWORD)))
    {
        LOG_CONDITION_FAILED("(cbData == 0) || (cbData != sizeof(DWORD))");
    }
    else
    {
        DWORD dwData = 0;
        lResult = RegQueryValueExA(hKey.Get(), sValueName.c_str(), NULL, &dwType, reinterpret_cast<BYTE*>(&dwData),
                                   &cbData);
        if (lResult != ERROR_SUCCESS)
        {
            LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
        }
        else
        {
            *pdwValueData = dwData;
            fResult = true;
        }
    }
    if (lResult != ERROR_SUCCESS && fLogFailure)
    {
        g_InstallLog.LogMessage(0, "RegGetDwordValue (%s, %s) Failed, lResult = %d", sPath.c_str(),
                                sValueName.c_str(), static_cast<int>(lResult));
    }
    return fResult;
}

bool RegRetryGetDwordValue(const CVxCiString& sPath, const CVxCiString& sValueName, DWORD* pdwValueData,
                           unsigned nMaxRetries, unsigned MaxSleepTime, HKEY hkRoot, REGSAM samView)
{
    unsigned nRetries = 0;
    unsigned TotalSleepTime = 0;
    bool fPreconditions = true;
    if (sPath.empty()) fPreconditions = LOG_CONDITION_FAILED("sPath.empty()");
    else if (sValueName.empty()) fPreconditions = LOG_CONDITION_FAILED("sValueName.empty()");
    else if (pdwValueData == 0) fPreconditions = LOG_CONDITION_FAILED("pdwValueData == 0");
    else if (hkRoot == 0) fPreconditions = LOG_CONDITION_FAILED("hkRoot == 0");

    if (fPreconditions)
    {
        if (RegGetDwordValue(sPath, sValueName, pdwValueData, true, hkRoot, samView)) return true;
        for (unsigned iRetry = 1;; ++iRetry)
        {
            if (iRetry > nMaxRetries)
            {
                LOG_CONDITION_FAILED("(iRetry + 1) > nMaxRetries");
                nRetries = iRetry - 1;
                break;
            }
            const unsigned Pause = iRetry * 100;
            if (TotalSleepTime + Pause > MaxSleepTime)
            {
                LOG_CONDITION_FAILED("(TotalSleepTime + (iRetry * 100)) > MaxSleepTime");
                nRetries = iRetry;
                break;
            }
            Sleep(Pause);
            TotalSleepTime += Pause;
            if (RegGetDwordValue(sPath, sValueName, pdwValueData, true, hkRoot, samView)) return true;
        }
    }
    g_InstallLog.LogMessage(0, "RegRetryGetDwordValue (%s, %s) Failed After %d Retries and %d Milliseconds",
                            OrNull(sPath), OrNull(sValueName), static_cast<int>(nRetries),
                            static_cast<int>(TotalSleepTime));
    return false;
}

bool RegSetDwordValue(const CVxCiString& sPath, const CVxCiString& sValueName, DWORD dwValueData,
                      bool fLogFailure, HKEY hkRoot, REGSAM samView)
{
    if (sPath.empty()) return LOG_CONDITION_FAILED("sPath.empty()");
    if (sValueName.empty()) return LOG_CONDITION_FAILED("sValueName.empty()");
    if (hkRoot == 0) return LOG_CONDITION_FAILED("hkRoot == 0");

    CUniqueRegKey hKey;
    LONG lResult = RegCreateKeyExA(hkRoot, sPath.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE, KEY_WRITE | samView,
                                   NULL, hKey.Put(), NULL);
    if (lResult == ERROR_SUCCESS)
    {
        lResult = RegSetValueExA(hKey.Get(), sValueName.c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&dwValueData), sizeof(DWORD));
    }
    if (lResult == ERROR_SUCCESS)
    {
        FlushWrittenKey(hKey.Get());
        return true;
    }

    LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
    if (fLogFailure)
    {
        g_InstallLog.LogMessage(0, "RegSetDwordValue (%s, %s, 0x%.8x) Failed, lResult = %d", sPath.c_str(),
                                sValueName.c_str(), static_cast<unsigned>(dwValueData), static_cast<int>(lResult));
    }
    return false;
}

bool RegDeleteValue(const CVxCiString& sPath, const CVxCiString& sValueName, bool fLogFailure, HKEY hkRoot,
                    REGSAM samView)
{
    if (sPath.empty()) return LOG_CONDITION_FAILED("sPath.empty()");
    if (sValueName.empty()) return LOG_CONDITION_FAILED("sValueName.empty()");
    if (hkRoot == 0) return LOG_CONDITION_FAILED("hkRoot == 0");

    CUniqueRegKey hKey;
    LONG lResult = RegOpenKeyExA(hkRoot, sPath.c_str(), 0, KEY_WRITE | samView, hKey.Put());
    if (lResult == ERROR_SUCCESS) lResult = RegDeleteValueA(hKey.Get(), sValueName.c_str());
    if (lResult == ERROR_SUCCESS) return true;

    LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
    if (fLogFailure)
    {
        g_InstallLog.LogMessage(0, "RegDeleteValue (%s, %s) Failed, lResult = %d", sPath.c_str(),
                                sValueName.c_str(), static_cast<int>(lResult));
    }
    return false;
}

bool RegDeleteKey(const CVxCiString& sPath, bool fRecursive, HKEY hkRoot, REGSAM samView)
{
    if (sPath.empty()) return LOG_CONDITION_FAILED("sPath.empty()");
    if (hkRoot == 0) return LOG_CONDITION_FAILED("hkRoot == 0");

    CVxCiString sRegKey = sPath;
    if (sRegKey[sRegKey.size() - 1] == '\\') sRegKey.erase(sRegKey.size() - 1);

    DWORD dwCode = 0xFFFFFFFF;
    const size_t isRegKey = sRegKey.rfind('\\');
    if (isRegKey == CVxCiString::npos)
    {
        LOG_CONDITION_FAILED("isRegKey == CVxCiString::npos");
    }
    else
    {
        const CVxCiString sSubkey = sRegKey.substr(isRegKey + 1);
        sRegKey.erase(isRegKey);
        if (sSubkey.empty())
        {
            LOG_CONDITION_FAILED("sSubkey.empty()");
        }
        else if (sRegKey.empty())
        {
            LOG_CONDITION_FAILED("sRegKey.empty()");
        }
        else
        {
            CUniqueRegKey hRegKey;
            LONG lResult = RegOpenKeyExA(hkRoot, sRegKey.c_str(), 0, KEY_ALL_ACCESS | samView, hRegKey.Put());
            if (lResult != ERROR_SUCCESS)
            {
                LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
                dwCode = static_cast<DWORD>(lResult);
            }
            else if (hRegKey.Get() == 0)
            {
                LOG_CONDITION_FAILED("hRegKey == 0");
            }
            else if (fRecursive)
            {
                if (RegRecursiveDeleteKey(hRegKey.Get(), sSubkey, samView)) return true;
                LOG_CONDITION_FAILED("RegRecursiveDeleteKey( hRegKey, sSubkey ) == false");
            }
            else
            {
                lResult = RegDeleteKeyA(hRegKey.Get(), sSubkey.c_str());
                if (lResult == ERROR_SUCCESS) return true;
                LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
                dwCode = static_cast<DWORD>(lResult);
            }
        }
    }
    g_InstallLog.LogMessage(0, "RegDeleteKey (%s) Failed, lResult = 0x%.8x", sPath.c_str(),
                            static_cast<unsigned>(dwCode));
    return false;
}

bool RegRecursiveDeleteKey(HKEY hRegKey, const CVxCiString& sSubkey, REGSAM samView)
{
    if (hRegKey == 0) return LOG_CONDITION_FAILED("hRegKey == 0");
    if (sSubkey.empty()) return LOG_CONDITION_FAILED("sSubkey.empty()");

    CUniqueRegKey hRegSubkey;
    LONG lResult = RegOpenKeyExA(hRegKey, sSubkey.c_str(), 0, KEY_ALL_ACCESS | samView, hRegSubkey.Put());
    if (lResult != ERROR_SUCCESS)
        return LOG_CONDITION_FAILED(
            "(lResult = RegOpenKeyEx( hRegKey, sSubkey.c_str(), 0, KEY_ALL_ACCESS, &hRegSubkey )) != ERROR_SUCCESS");

    DWORD nSubkeys = 0;
    lResult = RegQueryInfoKeyA(hRegSubkey.Get(), NULL, NULL, NULL, &nSubkeys, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
    if (lResult != ERROR_SUCCESS)
        return LOG_CONDITION_FAILED(
            "(lResult = RegQueryInfoKey( hRegSubkey, 0, 0, 0, &nSubkeys, 0, 0, 0, 0, 0, 0, 0 )) != ERROR_SUCCESS");

    // From the highest index down, so the indexes still to come stay valid.
    for (DWORD iSubkey = 0; iSubkey < nSubkeys; ++iSubkey)
    {
        char pszSubkeyName[_MAX_PATH + 1] = "";
        lResult = RegEnumKeyA(hRegSubkey.Get(), nSubkeys - iSubkey - 1, pszSubkeyName, _MAX_PATH + 1);
        if (lResult != ERROR_SUCCESS)
            return LOG_CONDITION_FAILED("(lResult = RegEnumKey( hRegSubkey, (nSubkeys - iSubkey - 1), pszSubkeyName, "
                                        "_MAX_PATH + 1 )) != ERROR_SUCCESS");
        if (!RegRecursiveDeleteKey(hRegSubkey.Get(), pszSubkeyName, samView))
            return LOG_CONDITION_FAILED("RegRecursiveDeleteKey( hRegSubkey, pszSubkeyName ) == false");
    }
    hRegSubkey.Reset();
    // When this fails the key is still there: a child was added meanwhile, or a child that links
    // to another key took its target with it and stayed itself. Saying false keeps the answer
    // true to the registry, and RegDeleteKey's summary line names the path; callers that do not
    // care, the PDI among them, ignore the result.
    lResult = RegDeleteKeyA(hRegKey, sSubkey.c_str());
    if (lResult != ERROR_SUCCESS) return LOG_CONDITION_FAILED("lResult != ERROR_SUCCESS");
    return true;
}

bool RegKeyExists(const CVxCiString& sPath, HKEY hkRoot, REGSAM samView)
{
    CUniqueRegKey hKey;
    return !sPath.empty() && hkRoot != 0 &&
           RegOpenKeyExA(hkRoot, sPath.c_str(), 0, KEY_READ | samView, hKey.Put()) == ERROR_SUCCESS;
}
