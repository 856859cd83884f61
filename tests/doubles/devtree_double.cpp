// A stand-in for the system's setupapi.dll (and, through cfgmgr32.dll's forwarders, for the
// configuration manager) that serves a device tree described in a text file, so tests can
// build trees Wine does not have: parents, USB printing ports, card readers, LPTENUM nodes.
//
// The file is named by the environment variable VX_DEVTREE and read again whenever that name
// or the file changes; without it the tree is empty. Lines ('|' separates fields, '#' starts a
// comment):
//   node|<key>|<parent key or ->|<class GUID>|<instance id>
//   prop|<index>|<type>|<value>        a registry property of the last node
//   iface|<interface GUID>             an interface of the last node
//   ifval|<name>|<type>|<value>        a value in the last interface's registry key
//   ifnokey                            the last interface's key cannot be opened
// Types: sz, multi (entries separated by '|'), dword, bin (hex bytes), sz122 (a text whose
// read fails with ERROR_INSUFFICIENT_BUFFER even when it fits, as some drivers' properties do).
// Device nodes are numbered from 0x100 in file order.
#define _SETUPAPI_
#define _CFGMGR32_
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace
{

const DEVINST kFirstDevInst = 0x100;
const DWORD kSetMagic = 0x56585344;  // "VXSD"

struct Value
{
    DWORD dwType = REG_NONE;
    std::string sData;
    bool fAlways122 = false;
};

struct Interface
{
    GUID guid = GUID();
    std::vector<std::pair<std::string, Value>> values;
    bool fNoKey = false;
};

struct Node
{
    std::string sKey;
    std::string sParentKey;
    std::string sId;
    GUID classGuid = GUID();
    int nParent = -1;
    std::map<DWORD, Value> properties;
    std::vector<Interface> interfaces;
};

struct DeviceSet
{
    DWORD dwMagic = kSetMagic;
    std::vector<int> nodes;
    bool fInterfaces = false;
    GUID interfaceClass = GUID();
};

CRITICAL_SECTION g_csLock;
std::vector<Node> g_nodes;
std::string g_sLoadedPath;
FILETIME g_ftLoaded = FILETIME();
bool g_fLoaded = false;
std::set<DeviceSet*> g_sets;

class Lock
{
public:
    Lock() { EnterCriticalSection(&g_csLock); }
    ~Lock() { LeaveCriticalSection(&g_csLock); }
};

// ---- parsing ------------------------------------------------------------------------------

std::vector<std::string> Split(const std::string& sLine)
{
    std::vector<std::string> fields;
    size_t nStart = 0;
    for (;;)
    {
        const size_t nBar = sLine.find('|', nStart);
        fields.push_back(sLine.substr(nStart, nBar == std::string::npos ? std::string::npos : nBar - nStart));
        if (nBar == std::string::npos) return fields;
        nStart = nBar + 1;
    }
}

bool ParseGuid(const std::string& s, GUID& guid)
{
    unsigned long a = 0;
    unsigned b = 0, c = 0, d[8] = {0};
    if (std::sscanf(s.c_str(), "{%8lx-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &a, &b, &c, &d[0], &d[1], &d[2], &d[3],
                    &d[4], &d[5], &d[6], &d[7]) != 11)
        return false;
    guid.Data1 = a;
    guid.Data2 = static_cast<unsigned short>(b);
    guid.Data3 = static_cast<unsigned short>(c);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<unsigned char>(d[i]);
    return true;
}

// fields[first] is the type, the rest the value.
Value ParseValue(const std::vector<std::string>& fields, size_t nFirst)
{
    Value value;
    const std::string sType = nFirst < fields.size() ? fields[nFirst] : "sz";
    std::string sRest;
    for (size_t i = nFirst + 1; i < fields.size(); ++i)
    {
        if (i > nFirst + 1) sRest += '|';
        sRest += fields[i];
    }
    if (sType == "multi")
    {
        value.dwType = REG_MULTI_SZ;
        for (size_t i = nFirst + 1; i < fields.size(); ++i)
        {
            value.sData += fields[i];
            value.sData += '\0';
        }
        value.sData += '\0';
    }
    else if (sType == "dword")
    {
        value.dwType = REG_DWORD;
        const DWORD dw = static_cast<DWORD>(std::strtoul(sRest.c_str(), NULL, 0));
        value.sData.assign(reinterpret_cast<const char*>(&dw), sizeof(dw));
    }
    else if (sType == "bin")
    {
        value.dwType = REG_BINARY;
        for (size_t i = 0; i + 1 < sRest.size(); i += 2)
            value.sData += static_cast<char>(std::strtoul(sRest.substr(i, 2).c_str(), NULL, 16));
    }
    else
    {
        value.dwType = REG_SZ;
        value.fAlways122 = sType == "sz122";
        value.sData = sRest;
        value.sData += '\0';
    }
    return value;
}

void ParseLine(const std::string& sLine, std::vector<Node>& nodes)
{
    if (sLine.empty() || sLine[0] == '#') return;
    const std::vector<std::string> f = Split(sLine);
    if (f[0] == "node" && f.size() >= 5)
    {
        Node node;
        node.sKey = f[1];
        node.sParentKey = f[2];
        ParseGuid(f[3], node.classGuid);
        node.sId = f[4];
        nodes.push_back(node);
        return;
    }
    if (nodes.empty()) return;
    Node& node = nodes.back();
    if (f[0] == "prop" && f.size() >= 3)
        node.properties[static_cast<DWORD>(std::strtoul(f[1].c_str(), NULL, 0))] = ParseValue(f, 2);
    else if (f[0] == "iface" && f.size() >= 2)
    {
        Interface item;
        ParseGuid(f[1], item.guid);
        node.interfaces.push_back(item);
    }
    else if (f[0] == "ifval" && f.size() >= 3 && !node.interfaces.empty())
        node.interfaces.back().values.push_back(std::make_pair(f[1], ParseValue(f, 2)));
    else if (f[0] == "ifnokey" && !node.interfaces.empty())
        node.interfaces.back().fNoKey = true;
}

void LinkParents(std::vector<Node>& nodes)
{
    for (Node& node : nodes)
    {
        for (size_t i = 0; i < nodes.size(); ++i)
        {
            if (nodes[i].sKey == node.sParentKey && &nodes[i] != &node) node.nParent = static_cast<int>(i);
        }
    }
}

std::string TreePath()
{
    char szPath[MAX_PATH];
    const DWORD cch = GetEnvironmentVariableA("VX_DEVTREE", szPath, sizeof(szPath));
    return cch > 0 && cch < sizeof(szPath) ? std::string(szPath, cch) : std::string();
}

FILETIME WriteTime(const std::string& sPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data = WIN32_FILE_ATTRIBUTE_DATA();
    if (sPath.empty() || !GetFileAttributesExA(sPath.c_str(), GetFileExInfoStandard, &data)) return FILETIME();
    return data.ftLastWriteTime;
}

// Called with the lock held.
void LoadTreeIfChanged()
{
    const std::string sPath = TreePath();
    const FILETIME ft = WriteTime(sPath);
    if (g_fLoaded && sPath == g_sLoadedPath && CompareFileTime(&ft, &g_ftLoaded) == 0) return;
    std::vector<Node> nodes;
    if (FILE* pFile = sPath.empty() ? NULL : std::fopen(sPath.c_str(), "rb"))
    {
        char szLine[4096];
        while (std::fgets(szLine, sizeof(szLine), pFile))
        {
            std::string sLine(szLine);
            while (!sLine.empty() && (sLine.back() == '\n' || sLine.back() == '\r')) sLine.pop_back();
            ParseLine(sLine, nodes);
        }
        std::fclose(pFile);
    }
    LinkParents(nodes);
    g_nodes.swap(nodes);
    g_sLoadedPath = sPath;
    g_ftLoaded = ft;
    g_fLoaded = true;
}

// ---- lookups ------------------------------------------------------------------------------

const Node* NodeOf(DEVINST dn)
{
    if (dn < kFirstDevInst || dn - kFirstDevInst >= g_nodes.size()) return NULL;
    return &g_nodes[dn - kFirstDevInst];
}

DeviceSet* SetOf(HDEVINFO hSet)
{
    DeviceSet* pSet = static_cast<DeviceSet*>(hSet);
    return g_sets.count(pSet) ? pSet : NULL;
}

bool StartsWithNoCase(const std::string& s, const char* pszPrefix)
{
    const size_t n = std::strlen(pszPrefix);
    return s.size() >= n && _strnicmp(s.c_str(), pszPrefix, n) == 0;
}

bool HasInterface(const Node& node, const GUID* pGuid)
{
    for (const Interface& item : node.interfaces)
    {
        if (!pGuid || IsEqualGUID(item.guid, *pGuid)) return true;
    }
    return false;
}

// The node of a device record in the set, or -1 (with the last error set).
int NodeInSet(const DeviceSet& set, const SP_DEVINFO_DATA* pData)
{
    if (!pData || pData->cbSize != sizeof(SP_DEVINFO_DATA))
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    for (int n : set.nodes)
    {
        if (kFirstDevInst + static_cast<DEVINST>(n) == pData->DevInst) return n;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
}

// Interface records carry node and interface number in their reserved field.
ULONG_PTR EncodeInterface(int nNode, size_t nInterface)
{
    return (static_cast<ULONG_PTR>(nNode) << 8 | nInterface) + 1;
}

std::string InterfaceKeyPath(ULONG_PTR uCode)
{
    char szPath[128];
    std::snprintf(szPath, sizeof(szPath), "Software\\VxDevTreeDouble\\%lu\\%lu", GetCurrentProcessId(),
                  static_cast<unsigned long>(uCode));
    return szPath;
}

std::string ProcessKeyPath()
{
    char szPath[96];
    std::snprintf(szPath, sizeof(szPath), "Software\\VxDevTreeDouble\\%lu", GetCurrentProcessId());
    return szPath;
}

// RegDeleteTree is younger than the headers this project builds against.
void DeleteTree(HKEY hRoot, const std::string& sPath)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(hRoot, sPath.c_str(), 0, KEY_READ | KEY_WRITE, &hKey) != ERROR_SUCCESS) return;
    char szName[256];
    for (;;)
    {
        DWORD cchName = sizeof(szName);
        if (RegEnumKeyExA(hKey, 0, szName, &cchName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        DeleteTree(hRoot, sPath + "\\" + szName);
        HKEY hCheck = NULL;
        if (RegOpenKeyExA(hRoot, (sPath + "\\" + szName).c_str(), 0, KEY_READ, &hCheck) == ERROR_SUCCESS)
        {
            RegCloseKey(hCheck);
            break;  // could not be deleted: stop rather than loop
        }
    }
    RegCloseKey(hKey);
    RegDeleteKeyA(hRoot, sPath.c_str());
}

HKEY MakeInterfaceKey(const Interface& item, ULONG_PTR uCode, REGSAM samDesired)
{
    const std::string sPath = InterfaceKeyPath(uCode);
    DeleteTree(HKEY_CURRENT_USER, sPath);
    HKEY hKey = NULL;
    LONG lResult = RegCreateKeyExA(HKEY_CURRENT_USER, sPath.c_str(), 0, NULL, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                                   NULL, &hKey, NULL);
    if (lResult != ERROR_SUCCESS)
    {
        SetLastError(lResult);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    for (const auto& value : item.values)
    {
        RegSetValueExA(hKey, value.first.c_str(), 0, value.second.dwType,
                       reinterpret_cast<const BYTE*>(value.second.sData.data()),
                       static_cast<DWORD>(value.second.sData.size()));
    }
    RegCloseKey(hKey);
    lResult = RegOpenKeyExA(HKEY_CURRENT_USER, sPath.c_str(), 0, samDesired, &hKey);
    if (lResult != ERROR_SUCCESS)
    {
        SetLastError(lResult);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    return hKey;
}

}  // namespace

// ---- Setup API ----------------------------------------------------------------------------

extern "C" HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* pClassGuid, PCSTR pszEnumerator, HWND, DWORD dwFlags)
{
    Lock lock;
    LoadTreeIfChanged();
    const bool fAllClasses = (dwFlags & DIGCF_ALLCLASSES) != 0;
    if (!pClassGuid && !fAllClasses)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    DeviceSet* pSet = new DeviceSet;
    pSet->fInterfaces = (dwFlags & DIGCF_DEVICEINTERFACE) != 0;
    if (pSet->fInterfaces && pClassGuid) pSet->interfaceClass = *pClassGuid;
    std::string sEnumerator = pszEnumerator ? std::string(pszEnumerator) + "\\" : std::string();
    for (size_t i = 0; i < g_nodes.size(); ++i)
    {
        const Node& node = g_nodes[i];
        if (!sEnumerator.empty() && !StartsWithNoCase(node.sId, sEnumerator.c_str())) continue;
        const GUID* pMatch = fAllClasses ? NULL : pClassGuid;
        const bool fWanted = pSet->fInterfaces ? HasInterface(node, pMatch)
                                               : (!pMatch || IsEqualGUID(node.classGuid, *pMatch));
        if (fWanted) pSet->nodes.push_back(static_cast<int>(i));
    }
    g_sets.insert(pSet);
    return pSet;
}

extern "C" BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO hSet)
{
    Lock lock;
    DeviceSet* pSet = SetOf(hSet);
    if (!pSet)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    g_sets.erase(pSet);
    delete pSet;
    return TRUE;
}

extern "C" BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO hSet, DWORD dwIndex, PSP_DEVINFO_DATA pData)
{
    Lock lock;
    DeviceSet* pSet = SetOf(hSet);
    if (!pSet)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!pData || pData->cbSize != sizeof(SP_DEVINFO_DATA))
    {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    if (dwIndex >= pSet->nodes.size())
    {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    const int nNode = pSet->nodes[dwIndex];
    pData->ClassGuid = g_nodes[nNode].classGuid;
    pData->DevInst = kFirstDevInst + static_cast<DEVINST>(nNode);
    pData->Reserved = 0;
    return TRUE;
}

extern "C" BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO hSet, PSP_DEVINFO_DATA pDevice, const GUID* pGuid,
                                                   DWORD dwIndex, PSP_DEVICE_INTERFACE_DATA pData)
{
    Lock lock;
    DeviceSet* pSet = SetOf(hSet);
    if (!pSet)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!pGuid)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!pData || pData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA))
    {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::vector<int> candidates = pSet->nodes;
    if (pDevice)
    {
        const int nNode = NodeInSet(*pSet, pDevice);
        if (nNode < 0) return FALSE;
        candidates.assign(1, nNode);
    }
    DWORD dwSeen = 0;
    for (int nNode : candidates)
    {
        const Node& node = g_nodes[nNode];
        for (size_t i = 0; i < node.interfaces.size(); ++i)
        {
            if (!IsEqualGUID(node.interfaces[i].guid, *pGuid)) continue;
            if (dwSeen++ != dwIndex) continue;
            pData->InterfaceClassGuid = *pGuid;
            pData->Flags = SPINT_ACTIVE;
            pData->Reserved = EncodeInterface(nNode, i);
            return TRUE;
        }
    }
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
}

extern "C" HKEY WINAPI SetupDiOpenDeviceInterfaceRegKey(HDEVINFO hSet, PSP_DEVICE_INTERFACE_DATA pData, DWORD,
                                                         REGSAM samDesired)
{
    Lock lock;
    if (!SetOf(hSet))
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    if (!pData || pData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || pData->Reserved == 0)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    const ULONG_PTR uCode = pData->Reserved;
    const size_t nNode = static_cast<size_t>((uCode - 1) >> 8);
    const size_t nInterface = static_cast<size_t>((uCode - 1) & 0xFF);
    if (nNode >= g_nodes.size() || nInterface >= g_nodes[nNode].interfaces.size())
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    const Interface& item = g_nodes[nNode].interfaces[nInterface];
    if (item.fNoKey)
    {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    return MakeInterfaceKey(item, uCode, samDesired);
}

extern "C" BOOL WINAPI SetupDiGetDeviceRegistryPropertyA(HDEVINFO hSet, PSP_DEVINFO_DATA pDevice, DWORD dwProperty,
                                                         PDWORD pdwType, PBYTE pBuffer, DWORD cbBuffer,
                                                         PDWORD pcbRequired)
{
    Lock lock;
    DeviceSet* pSet = SetOf(hSet);
    if (!pSet)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const int nNode = NodeInSet(*pSet, pDevice);
    if (nNode < 0) return FALSE;
    if (dwProperty >= SPDRP_MAXIMUM_PROPERTY)
    {
        SetLastError(ERROR_INVALID_REG_PROPERTY);
        return FALSE;
    }
    if (!pBuffer && cbBuffer)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto it = g_nodes[nNode].properties.find(dwProperty);
    if (it == g_nodes[nNode].properties.end())
    {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }
    const Value& value = it->second;
    const DWORD cbValue = static_cast<DWORD>(value.sData.size());
    if (pcbRequired) *pcbRequired = cbValue;
    if (pdwType) *pdwType = value.dwType;
    if (cbBuffer < cbValue)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(pBuffer, value.sData.data(), cbValue);
    if (value.fAlways122)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    return TRUE;
}

// ---- configuration manager (cfgmgr32.dll forwards here, as on Windows) ----------------------

extern "C" CONFIGRET WINAPI CM_Get_Device_ID_Size(PULONG pulLength, DEVINST dn, ULONG)
{
    Lock lock;
    if (!g_fLoaded) LoadTreeIfChanged();
    if (!pulLength) return CR_INVALID_POINTER;
    const Node* pNode = NodeOf(dn);
    if (!pNode) return CR_INVALID_DEVNODE;
    *pulLength = static_cast<ULONG>(pNode->sId.size());
    return CR_SUCCESS;
}

extern "C" CONFIGRET WINAPI CM_Get_Device_IDA(DEVINST dn, PSTR pszBuffer, ULONG cchBuffer, ULONG)
{
    Lock lock;
    if (!g_fLoaded) LoadTreeIfChanged();
    if (!pszBuffer) return CR_INVALID_POINTER;
    const Node* pNode = NodeOf(dn);
    if (!pNode) return CR_INVALID_DEVNODE;
    const size_t cchId = pNode->sId.size();
    const size_t cchCopy = cchId < cchBuffer ? cchId : cchBuffer;
    std::memcpy(pszBuffer, pNode->sId.data(), cchCopy);
    if (cchCopy < cchBuffer) pszBuffer[cchCopy] = '\0';
    return cchId < cchBuffer ? CR_SUCCESS : CR_BUFFER_SMALL;
}

extern "C" CONFIGRET WINAPI CM_Get_Parent(PDEVINST pdnParent, DEVINST dn, ULONG)
{
    Lock lock;
    if (!g_fLoaded) LoadTreeIfChanged();
    if (!pdnParent) return CR_INVALID_POINTER;
    *pdnParent = 0;
    const Node* pNode = NodeOf(dn);
    if (!pNode) return CR_INVALID_DEVNODE;
    if (pNode->nParent < 0) return CR_NO_SUCH_DEVNODE;
    *pdnParent = kFirstDevInst + static_cast<DEVINST>(pNode->nParent);
    return CR_SUCCESS;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_csLock);
    if (dwReason == DLL_PROCESS_DETACH) DeleteTree(HKEY_CURRENT_USER, ProcessKeyPath());
    return TRUE;
}
