#include "support/pe_image.h"

#include <algorithm>
#include <cstring>

namespace vxtest
{

namespace
{

// Bounds for damaged tables: far beyond any real binary of this project.
const size_t kMaxNameLength = 4096;
const size_t kMaxImportedDlls = 1024;
const size_t kMaxImportsPerDll = 65536;

bool Fail(std::string* psError, const char* pszWhy)
{
    if (psError) *psError = pszWhy;
    return false;
}

}  // namespace

template <typename T>
bool PeImage::ReadAt(uint64_t qwOffset, T* pValue) const
{
    if (qwOffset > m_sImage.size() || m_sImage.size() - qwOffset < sizeof(T)) return false;
    std::memcpy(pValue, m_sImage.data() + qwOffset, sizeof(T));
    return true;
}

bool PeImage::RvaToOffset(DWORD dwRva, uint64_t* pqwOffset) const
{
    for (const IMAGE_SECTION_HEADER& section : m_sections)
    {
        const DWORD dwSpan = (std::max)(section.Misc.VirtualSize, section.SizeOfRawData);
        if (dwRva >= section.VirtualAddress && dwRva - section.VirtualAddress < dwSpan)
        {
            const DWORD dwDelta = dwRva - section.VirtualAddress;
            if (dwDelta >= section.SizeOfRawData) return false;  // not backed by the file
            *pqwOffset = static_cast<uint64_t>(section.PointerToRawData) + dwDelta;
            return *pqwOffset < m_sImage.size();
        }
    }
    return false;
}

bool PeImage::ReadName(DWORD dwRva, std::string* psName) const
{
    uint64_t qwOffset = 0;
    if (!RvaToOffset(dwRva, &qwOffset)) return false;
    const char* p = m_sImage.data() + qwOffset;
    const size_t cchMax = (std::min)(static_cast<size_t>(m_sImage.size() - qwOffset), kMaxNameLength);
    const void* pEnd = std::memchr(p, '\0', cchMax);
    if (!pEnd) return false;
    psName->assign(p, static_cast<const char*>(pEnd) - p);
    return true;
}

bool PeImage::Directory(int iEntry, IMAGE_DATA_DIRECTORY* pDirectory) const
{
    if (static_cast<size_t>(iEntry) >= m_directories.size() || m_directories[iEntry].VirtualAddress == 0)
        return false;
    *pDirectory = m_directories[iEntry];
    return true;
}

// The optional header of either kind: the data directories it has room for and the facts the
// tests read.
template <typename Optional>
bool PeImage::ParseOptional(uint64_t qwOffset, WORD wSize)
{
    Optional optional;
    const size_t cbFixed = offsetof(Optional, DataDirectory);
    if (!ReadAt(qwOffset, &optional) || wSize < cbFixed) return false;
    const size_t cFit = (wSize - cbFixed) / sizeof(IMAGE_DATA_DIRECTORY);
    const size_t cDirectories = (std::min)(static_cast<size_t>(optional.NumberOfRvaAndSizes),
                                           (std::min)(cFit, static_cast<size_t>(IMAGE_NUMBEROF_DIRECTORY_ENTRIES)));
    m_directories.assign(optional.DataDirectory, optional.DataDirectory + cDirectories);
    m_wSubsystem = optional.Subsystem;
    m_wSubsystemVersion[0] = optional.MajorSubsystemVersion;
    m_wSubsystemVersion[1] = optional.MinorSubsystemVersion;
    m_wOsVersion[0] = optional.MajorOperatingSystemVersion;
    m_wOsVersion[1] = optional.MinorOperatingSystemVersion;
    return true;
}

bool PeImage::Parse(const std::string& sImage, std::string* psError)
{
    m_sImage = sImage;
    m_directories.clear();
    m_sections.clear();
    m_wMachine = 0;

    IMAGE_DOS_HEADER dos;
    if (!ReadAt(0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return Fail(psError, "no MZ header");
    const uint64_t qwNt = static_cast<uint64_t>(static_cast<DWORD>(dos.e_lfanew));
    DWORD dwSignature = 0;
    IMAGE_FILE_HEADER file;
    if (!ReadAt(qwNt, &dwSignature) || dwSignature != IMAGE_NT_SIGNATURE) return Fail(psError, "no PE signature");
    if (!ReadAt(qwNt + sizeof(DWORD), &file)) return Fail(psError, "file header cut off");
    m_wMachine = file.Machine;
    m_wCharacteristics = file.Characteristics;
    m_dwSymbolTable = file.PointerToSymbolTable;
    m_dwSymbols = file.NumberOfSymbols;

    const uint64_t qwOptional = qwNt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    WORD wMagic = 0;
    if (!ReadAt(qwOptional, &wMagic)) return Fail(psError, "optional header cut off");
    m_f64 = wMagic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    if (wMagic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
    {
        if (!ParseOptional<IMAGE_OPTIONAL_HEADER32>(qwOptional, file.SizeOfOptionalHeader))
            return Fail(psError, "PE32 optional header cut off");
    }
    else if (m_f64)
    {
        if (!ParseOptional<IMAGE_OPTIONAL_HEADER64>(qwOptional, file.SizeOfOptionalHeader))
            return Fail(psError, "PE32+ optional header cut off");
    }
    else
    {
        return Fail(psError, "unknown optional header magic");
    }

    const uint64_t qwSections = qwOptional + file.SizeOfOptionalHeader;
    for (WORD i = 0; i < file.NumberOfSections; ++i)
    {
        IMAGE_SECTION_HEADER section;
        if (!ReadAt(qwSections + i * sizeof(section), &section)) return Fail(psError, "section table cut off");
        m_sections.push_back(section);
    }
    return true;
}

bool PeImage::HasDirectory(int iEntry) const
{
    IMAGE_DATA_DIRECTORY directory;
    return Directory(iEntry, &directory);
}

std::vector<std::string> PeImage::SectionNames() const
{
    std::vector<std::string> names;
    for (const IMAGE_SECTION_HEADER& section : m_sections)
    {
        const char* pszName = reinterpret_cast<const char*>(section.Name);
        names.push_back(std::string(pszName, std::find(pszName, pszName + IMAGE_SIZEOF_SHORT_NAME, '\0')));
    }
    return names;
}

bool PeImage::ReadExports(std::vector<std::pair<std::string, DWORD> >* pNames, std::string* psError) const
{
    pNames->clear();
    IMAGE_DATA_DIRECTORY directory;
    if (!Directory(IMAGE_DIRECTORY_ENTRY_EXPORT, &directory)) return Fail(psError, "no export directory");
    uint64_t qwDirectory = 0;
    IMAGE_EXPORT_DIRECTORY exports;
    if (!RvaToOffset(directory.VirtualAddress, &qwDirectory) || !ReadAt(qwDirectory, &exports))
        return Fail(psError, "export directory outside the file");
    uint64_t qwNames = 0, qwOrdinals = 0, qwFunctions = 0;
    if (exports.NumberOfNames > 0 &&
        (!RvaToOffset(exports.AddressOfNames, &qwNames) || !RvaToOffset(exports.AddressOfNameOrdinals, &qwOrdinals) ||
         !RvaToOffset(exports.AddressOfFunctions, &qwFunctions)))
        return Fail(psError, "export tables outside the file");
    for (DWORD i = 0; i < exports.NumberOfNames; ++i)
    {
        DWORD dwNameRva = 0, dwFunctionRva = 0;
        WORD wOrdinal = 0;
        if (!ReadAt(qwNames + 4ull * i, &dwNameRva) || !ReadAt(qwOrdinals + 2ull * i, &wOrdinal))
            return Fail(psError, "name table cut off");
        if (wOrdinal >= exports.NumberOfFunctions || !ReadAt(qwFunctions + 4ull * wOrdinal, &dwFunctionRva))
            return Fail(psError, "name refers to no function");
        std::string sName;
        if (!ReadName(dwNameRva, &sName)) return Fail(psError, "name outside the file");
        pNames->push_back(std::make_pair(sName, dwFunctionRva));
    }
    return true;
}

// One DLL's lookup table: pointer-sized entries, an ordinal when the top bit is set, else the
// RVA of a hint and a name; a zero entry ends it.
template <typename Thunk>
bool PeImage::ReadThunks(DWORD dwRva, const std::string& sDll, std::vector<Import>* pImports,
                         std::string* psError) const
{
    const Thunk kOrdinalFlag = static_cast<Thunk>(1) << (sizeof(Thunk) * 8 - 1);
    uint64_t qwThunks = 0;
    if (!RvaToOffset(dwRva, &qwThunks)) return Fail(psError, "import lookup table outside the file");
    for (size_t i = 0; i < kMaxImportsPerDll; ++i)
    {
        Thunk thunk = 0;
        if (!ReadAt(qwThunks + i * sizeof(Thunk), &thunk)) return Fail(psError, "import lookup table cut off");
        if (thunk == 0) return true;
        Import import = {sDll, std::string(), 0};
        if (thunk & kOrdinalFlag)
        {
            import.wOrdinal = static_cast<WORD>(thunk & 0xFFFF);
        }
        else if (thunk > 0xFFFFFFFFu || !ReadName(static_cast<DWORD>(thunk) + sizeof(WORD), &import.sName) ||
                 import.sName.empty())
        {
            return Fail(psError, "imported name outside the file");
        }
        pImports->push_back(import);
    }
    return Fail(psError, "import lookup table without an end");
}

bool PeImage::ReadImports(std::vector<Import>* pImports, std::string* psError) const
{
    pImports->clear();
    IMAGE_DATA_DIRECTORY directory;
    if (!Directory(IMAGE_DIRECTORY_ENTRY_IMPORT, &directory)) return Fail(psError, "no import directory");
    uint64_t qwDescriptors = 0;
    if (!RvaToOffset(directory.VirtualAddress, &qwDescriptors)) return Fail(psError, "import directory outside the file");
    for (size_t i = 0; i < kMaxImportedDlls; ++i)
    {
        IMAGE_IMPORT_DESCRIPTOR descriptor;
        if (!ReadAt(qwDescriptors + i * sizeof(descriptor), &descriptor))
            return Fail(psError, "import directory cut off");
        if (descriptor.Name == 0 && descriptor.FirstThunk == 0) return true;
        std::string sDll;
        if (!ReadName(descriptor.Name, &sDll) || sDll.empty()) return Fail(psError, "imported DLL name outside the file");
        // The lookup table; old linkers leave it out and only the address table names the imports.
        const DWORD dwLookup = descriptor.OriginalFirstThunk ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
        const bool fOk = m_f64 ? ReadThunks<ULONGLONG>(dwLookup, sDll, pImports, psError)
                               : ReadThunks<DWORD>(dwLookup, sDll, pImports, psError);
        if (!fOk) return false;
    }
    return Fail(psError, "import directory without an end");
}

}  // namespace vxtest
