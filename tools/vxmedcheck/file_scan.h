// A profile file read line by line through the reader's own syntax (its line walk, trimming,
// headers, keys and quotes), keeping the line numbers that the reader forgets, and reporting
// what the reader passes over in silence.
#ifndef VXMEDCHECK_FILE_SCAN_H
#define VXMEDCHECK_FILE_SCAN_H

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "findings.h"
#include "infrastructure/ci_string.h"

namespace medcheck
{

struct ScannedKey
{
    std::string sKey;
    std::string sValue;  // after trimming and the outer quotes
    unsigned nLine;
};

struct ScannedSection
{
    unsigned nLine = 0;            // of its first header
    std::vector<ScannedKey> keys;  // every key line, in file order, repeats included
    std::unordered_map<std::string, size_t> firstKeys;  // a key in upper case: its first line in keys
};

class ScannedFile
{
public:
    bool fRead = false;
    bool fMisencoded = false;  // its encoding was reported as an error: nothing more is said of it
    std::string sName;  // as findings name it
    std::map<CVxCiString, ScannedSection> sections;

    const ScannedSection* Section(const char* pszName) const;
    // The line of the section's first header, else 0.
    unsigned SectionLine(const char* pszName) const;
    // The line of the key's last (winning) definition in the section, else 0.
    unsigned KeyLine(const char* pszSection, const char* pszKey) const;
};

// Reads sPath; a file that cannot be opened is an error finding (file-missing) with fRead false,
// and so is one in an encoding the reader cannot read (file-encoding, fMisencoded).
ScannedFile ScanProfileFile(const std::string& sPath, const std::string& sName, FindingList& findings);

}  // namespace medcheck

#endif
