// The headers, export table and import table of a PE file (an .exe or .dll) held in memory,
// for tests that check what a built binary offers and what it needs from the system.
#ifndef VXTEST_PE_IMAGE_H
#define VXTEST_PE_IMAGE_H

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vxtest
{

// Every offset and count is checked against the image, so a damaged file gives an error text,
// never a read outside it. Both PE32 and PE32+ images are read.
class PeImage
{
public:
    struct Import
    {
        std::string sDll;   // as the import directory spells it
        std::string sName;  // empty for an import by ordinal
        WORD wOrdinal;      // only for an import by ordinal
    };

    // The headers and the section table.
    bool Parse(const std::string& sImage, std::string* psError);

    WORD Machine() const { return m_wMachine; }
    WORD Characteristics() const { return m_wCharacteristics; }
    WORD Subsystem() const { return m_wSubsystem; }
    WORD MajorSubsystemVersion() const { return m_wSubsystemVersion[0]; }
    WORD MinorSubsystemVersion() const { return m_wSubsystemVersion[1]; }
    WORD MajorOperatingSystemVersion() const { return m_wOsVersion[0]; }
    WORD MinorOperatingSystemVersion() const { return m_wOsVersion[1]; }
    // The COFF symbol table of the file header (both 0 when there is none).
    DWORD PointerToSymbolTable() const { return m_dwSymbolTable; }
    DWORD NumberOfSymbols() const { return m_dwSymbols; }
    // Whether data directory iEntry (IMAGE_DIRECTORY_ENTRY_TLS, ...) is present.
    bool HasDirectory(int iEntry) const;
    // The section table's names, as its 8-byte fields spell them.
    std::vector<std::string> SectionNames() const;

    // Exported names with their function addresses (RVAs), in the table's order.
    bool ReadExports(std::vector<std::pair<std::string, DWORD> >* pNames, std::string* psError) const;
    // Every import of the import directory, DLL by DLL in the directory's order.
    bool ReadImports(std::vector<Import>* pImports, std::string* psError) const;

private:
    template <typename T>
    bool ReadAt(uint64_t qwOffset, T* pValue) const;
    bool RvaToOffset(DWORD dwRva, uint64_t* pqwOffset) const;
    bool ReadName(DWORD dwRva, std::string* psName) const;
    bool Directory(int iEntry, IMAGE_DATA_DIRECTORY* pDirectory) const;
    template <typename Optional>
    bool ParseOptional(uint64_t qwOffset, WORD wSize);
    template <typename Thunk>
    bool ReadThunks(DWORD dwRva, const std::string& sDll, std::vector<Import>* pImports, std::string* psError) const;

    std::string m_sImage;
    bool m_f64 = false;
    WORD m_wMachine = 0;
    WORD m_wCharacteristics = 0;
    DWORD m_dwSymbolTable = 0;
    DWORD m_dwSymbols = 0;
    WORD m_wSubsystem = 0;
    WORD m_wSubsystemVersion[2] = {0, 0};
    WORD m_wOsVersion[2] = {0, 0};
    std::vector<IMAGE_DATA_DIRECTORY> m_directories;
    std::vector<IMAGE_SECTION_HEADER> m_sections;
};

}  // namespace vxtest

#endif
