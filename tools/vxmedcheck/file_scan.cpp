#include "file_scan.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "infrastructure/profile_reader.h"
#include "infrastructure/qualified_values.h"
#include "profile_syntax.h"

namespace medcheck
{

namespace
{

// The reader's line buffer: a longer physical line is read as several lines.
const size_t kLineBuffer = profile_syntax::kMaxLine + 1;
using profile_syntax::kMaxSectionName;

struct FileCloser
{
    void operator()(std::FILE* p) const
    {
        if (p) std::fclose(p);
    }
};

std::string Shortened(const std::string& s)
{
    return s.size() <= 60 ? s : s.substr(0, 57) + "...";
}

class Scanner
{
public:
    Scanner(ScannedFile& file, FindingList& findings) : m_file(file), m_findings(findings) {}

    // One piece of at most 999 bytes, from physical line nLine. The pieces after the first of a
    // split line are described by the split's finding, not as lines of their own.
    void Piece(char* pszPiece, unsigned nLine, bool fContinuation)
    {
        m_fContinuation = fContinuation;
        char* p = pszPiece;
        while (*p == '\r' || *p == '\n') ++p;
        p[std::strcspn(p, "\r\n")] = '\0';
        p = TrimSpaces(p);
        if (*p) Line(p, nLine);
    }

private:
    void Warn(unsigned nLine, const char* pszCode, const std::string& sText)
    {
        m_findings.Add(eWarning, m_file.sName, nLine, pszCode, sText);
    }

    void Line(char* pszLine, unsigned nLine)
    {
        if (pszLine[0] == '[')
        {
            if (char* pszClose = const_cast<char*>(FindSingleByteChar(pszLine + 1, ']')))
            {
                *pszClose = '\0';
                Header(pszLine + 1, nLine);
                return;
            }
        }
        if (pszLine[0] == ';') return;
        // After a header with an empty name its own finding covers the lines it loses.
        if (!m_pCurrent)
        {
            if (!m_fEmptyHeader && !m_fContinuation)
                Warn(nLine, "line-ignored",
                     Format("\"%s\" comes before the first section header: the line is ignored",
                            Shortened(pszLine).c_str()));
            return;
        }
        char* pszEquals = const_cast<char*>(FindSingleByteChar(pszLine, '='));
        if (!pszEquals)
        {
            if (!m_fContinuation)
                Warn(nLine, "line-ignored",
                     Format("\"%s\" has no \"=\": the line is ignored", Shortened(pszLine).c_str()));
            return;
        }
        *pszEquals = '\0';
        const char* pszKey = TrimSpaces(pszLine);
        if (!pszKey[0])
        {
            Warn(nLine, "line-ignored", "the line has no key before its \"=\": it is ignored");
            return;
        }
        Key(pszKey, TrimSpaces(pszEquals + 1), nLine);
    }

    void Header(char* pszInside, unsigned nLine)
    {
        char* pszName = TrimSpaces(pszInside);
        profile_syntax::CutAtCharacter(pszName, kMaxSectionName);
        pszName = TrimSpaces(pszName);
        if (!pszName[0])
        {
            Warn(nLine, "header-empty", "a section header with an empty name: the key lines up to the next header are ignored");
            m_pCurrent = NULL;
            m_fEmptyHeader = true;
            return;
        }
        m_fEmptyHeader = false;
        ScannedSection& section = m_file.sections[CVxCiString(pszName)];
        if (section.nLine != 0)
            Warn(nLine, "section-repeated",
                 Format("section [%s] was begun on line %u: the reader merges both into one", pszName, section.nLine));
        else
            section.nLine = nLine;
        m_pCurrent = &section;
    }

    void Key(const char* pszKey, char* pszValue, unsigned nLine)
    {
        const size_t cchValue = std::strlen(pszValue);
        const bool fOpens = cchValue > 0 && pszValue[0] == '"';
        const bool fCloses = cchValue > 0 && pszValue[cchValue - 1] == '"';
        if (fOpens && fCloses)
        {
            if (cchValue == 1)
                Warn(nLine, "quote-unpaired", Format("the value of \"%s\" is a lone double quote: it reads as empty", pszKey));
            pszValue[cchValue - 1] = '\0';
            if (cchValue > 1) ++pszValue;
        }
        else if (fOpens || fCloses)
        {
            Warn(nLine, "quote-unpaired",
                 Format("the value of \"%s\" has a double quote at one end only: it is kept in the value", pszKey));
        }
        for (const ScannedKey& earlier : m_pCurrent->keys)
        {
            if (CVxCiString(earlier.sKey.c_str()) == pszKey)
            {
                Warn(nLine, "key-repeated",
                     Format("\"%s\" was given on line %u: the later value \"%s\" wins over \"%s\"", pszKey,
                            earlier.nLine, Shortened(pszValue).c_str(), Shortened(earlier.sValue).c_str()));
                break;
            }
        }
        ScannedKey key;
        key.sKey = pszKey;
        key.sValue = pszValue;
        key.nLine = nLine;
        m_pCurrent->keys.push_back(key);
    }

    ScannedFile& m_file;
    FindingList& m_findings;
    ScannedSection* m_pCurrent = NULL;
    bool m_fEmptyHeader = false;
    bool m_fContinuation = false;
};

// Splits the stream as the reader does and hands each piece to the scanner with the number of
// the physical line it came from; reports split lines and NUL bytes.
void ScanStream(std::FILE* pFile, ScannedFile& file, FindingList& findings)
{
    Scanner scanner(file, findings);
    std::vector<char> block(64 * 1024);
    char szPiece[kLineBuffer];
    size_t cchPiece = 0;
    unsigned nLine = 1;
    size_t cbPhysical = 0;  // bytes of the physical line so far, without its line end
    unsigned nPieces = 0;   // pieces of the physical line handed on so far
    bool fNulSeen = false;
    size_t cbRead;

    auto endPhysicalLine = [&](bool fSplit) {
        if (fSplit && nPieces > 1)
            findings.Add(eWarning, file.sName, nLine, "line-split",
                         Format("the line is %lu bytes long: the reader reads it as %u lines, the first %lu bytes "
                                "long, and parses each on its own (a piece without \"=\" is dropped)",
                                static_cast<unsigned long>(cbPhysical), nPieces,
                                static_cast<unsigned long>(kLineBuffer - 1)));
        ++nLine;
        cbPhysical = 0;
        nPieces = 0;
    };
    auto handPiece = [&]() {
        szPiece[cchPiece] = '\0';
        if (!fNulSeen && std::memchr(szPiece, '\0', cchPiece) != NULL)
        {
            fNulSeen = true;
            findings.Add(eWarning, file.sName, nLine, "file-binary",
                         "the file holds NUL bytes (the first on this line): the reader drops the rest of each line "
                         "after one");
        }
        const bool fContinuation = nPieces > 0;
        ++nPieces;
        const bool fEndsLine = cchPiece > 0 && szPiece[cchPiece - 1] == '\n';
        cbPhysical += cchPiece - (fEndsLine ? 1 : 0);
        std::unique_ptr<char[]> copy(new char[cchPiece + 1]);
        std::memcpy(copy.get(), szPiece, cchPiece + 1);
        scanner.Piece(copy.get(), nLine, fContinuation);
        cchPiece = 0;
        if (fEndsLine) endPhysicalLine(true);
    };

    while ((cbRead = std::fread(block.data(), 1, block.size(), pFile)) > 0)
    {
        const char* p = block.data();
        const char* pEnd = p + cbRead;
        while (p < pEnd)
        {
            const size_t cbRoom = (kLineBuffer - 1) - cchPiece;
            const size_t cbLeft = static_cast<size_t>(pEnd - p);
            const size_t cbAvailable = cbLeft < cbRoom ? cbLeft : cbRoom;
            const char* pNewLine = static_cast<const char*>(std::memchr(p, '\n', cbAvailable));
            const size_t cbTake = pNewLine ? static_cast<size_t>(pNewLine - p) + 1 : cbAvailable;
            std::memcpy(szPiece + cchPiece, p, cbTake);
            cchPiece += cbTake;
            p += cbTake;
            if (pNewLine || cchPiece == kLineBuffer - 1) handPiece();
        }
    }
    if (cchPiece > 0) handPiece();
    if (nPieces > 0) endPhysicalLine(true);
}

}  // namespace

const ScannedSection* ScannedFile::Section(const char* pszName) const
{
    const std::map<CVxCiString, ScannedSection>::const_iterator it = sections.find(CVxCiString(pszName));
    return it == sections.end() ? NULL : &it->second;
}

unsigned ScannedFile::SectionLine(const char* pszName) const
{
    const ScannedSection* pSection = Section(pszName);
    return pSection ? pSection->nLine : 0;
}

unsigned ScannedFile::KeyLine(const char* pszSection, const char* pszKey) const
{
    const ScannedSection* pSection = Section(pszSection);
    if (!pSection) return 0;
    unsigned nLine = 0;
    for (const ScannedKey& key : pSection->keys)
    {
        if (CVxCiString(key.sKey.c_str()) == pszKey) nLine = key.nLine;
    }
    return nLine;
}

ScannedFile ScanProfileFile(const std::string& sPath, const std::string& sName, FindingList& findings)
{
    ScannedFile file;
    file.sName = sName;
    // Text mode, as the reader opens it: CR/LF pairs and the end-of-file mark are the C
    // runtime's, so the lines are the reader's lines.
    std::unique_ptr<std::FILE, FileCloser> pFile(std::fopen(sPath.c_str(), "r"));
    const DWORD dwAttributes = GetFileAttributesA(sPath.c_str());
    if (!pFile || (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)))
    {
        findings.Add(eError, sName, 0, "file-missing",
                     dwAttributes == INVALID_FILE_ATTRIBUTES ? "the file is missing: the PDI reads nothing from it"
                                                             : "the file cannot be read: the PDI reads nothing from it");
        return file;
    }
    file.fRead = true;
    ScanStream(pFile.get(), file, findings);
    return file;
}

}  // namespace medcheck
