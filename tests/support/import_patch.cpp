#include "support/import_patch.h"

#include <cstring>

namespace vxtest
{

namespace
{

void** FindSlot(HMODULE hModule, const char* pszDll, const char* pszFunction)
{
    BYTE* pBase = reinterpret_cast<BYTE*>(hModule);
    const IMAGE_DOS_HEADER* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    const IMAGE_NT_HEADERS* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return NULL;
    for (const IMAGE_IMPORT_DESCRIPTOR* pDescriptor =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pBase + directory.VirtualAddress);
         pDescriptor->Name != 0; ++pDescriptor)
    {
        if (lstrcmpiA(reinterpret_cast<const char*>(pBase + pDescriptor->Name), pszDll) != 0) continue;
        const DWORD dwNames = pDescriptor->OriginalFirstThunk ? pDescriptor->OriginalFirstThunk : pDescriptor->FirstThunk;
        const IMAGE_THUNK_DATA* pName = reinterpret_cast<const IMAGE_THUNK_DATA*>(pBase + dwNames);
        IMAGE_THUNK_DATA* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pDescriptor->FirstThunk);
        for (; pName->u1.AddressOfData != 0; ++pName, ++pSlot)
        {
            if (IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal)) continue;
            const IMAGE_IMPORT_BY_NAME* pByName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(pBase + pName->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(pByName->Name), pszFunction) == 0)
                return reinterpret_cast<void**>(&pSlot->u1.Function);
        }
    }
    return NULL;
}

void WriteSlot(void** ppSlot, void* pValue)
{
    DWORD dwOld = 0;
    VirtualProtect(ppSlot, sizeof(void*), PAGE_READWRITE, &dwOld);
    *ppSlot = pValue;
    VirtualProtect(ppSlot, sizeof(void*), dwOld, &dwOld);
}

}  // namespace

ImportPatch::ImportPatch(HMODULE hModule, const char* pszDll, const char* pszFunction, const void* pReplacement)
    : m_ppSlot(FindSlot(hModule, pszDll, pszFunction)), m_pOriginal(NULL)
{
    if (m_ppSlot == NULL) return;
    m_pOriginal = *m_ppSlot;
    WriteSlot(m_ppSlot, const_cast<void*>(pReplacement));
}

ImportPatch::~ImportPatch()
{
    if (m_ppSlot) WriteSlot(m_ppSlot, m_pOriginal);
}

}  // namespace vxtest
