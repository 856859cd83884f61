// Points one import slot of a loaded module at a stand-in for as long as the owner lives, so a
// test can see or change what the library statically linked into it receives from the system.
#ifndef VXTEST_IMPORT_PATCH_H
#define VXTEST_IMPORT_PATCH_H

#include <windows.h>

namespace vxtest
{

class ImportPatch
{
public:
    // pszDll as the import directory names it, compared without case; imports by name only.
    ImportPatch(HMODULE hModule, const char* pszDll, const char* pszFunction, const void* pReplacement);
    ~ImportPatch();

    bool Applied() const { return m_ppSlot != NULL; }
    // What the slot held before: the system's function, for the stand-in to call on.
    void* Original() const { return m_pOriginal; }

private:
    ImportPatch(const ImportPatch&);
    ImportPatch& operator=(const ImportPatch&);

    void** m_ppSlot;
    void* m_pOriginal;
};

}  // namespace vxtest

#endif
