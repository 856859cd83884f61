#include "file_scan.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "encoding.h"
#include "profile_syntax.h"

namespace medcheck
{

namespace
{

using profile_syntax::CLine;

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

std::string AsString(const CProfileSpan& span) { return std::string(span.p, span.cch); }

// The reader's lines, each as the reader splits it, with the findings for what it passes over.
class Scanner
{
public:
    Scanner(ScannedFile& file, FindingList& findings) : m_file(file), m_findings(findings) {}

    template <bool fDoubleByte>
    void Line(const CLine& line)
    {
        if (!m_fNulSeen && std::memchr(line.raw.p, '\0', line.raw.cch) != NULL)
        {
            m_fNulSeen = true;
            m_findings.Add(eWarning, m_file.sName, line.nLine, "file-binary",
                           "the file holds NUL bytes (the first on this line): the reader drops the rest of each line "
                           "after one");
        }
        m_cbPhysical += line.raw.cch - (line.raw.p[line.raw.cch - 1] == '\n' ? 1 : 0);
        Parse<fDoubleByte>(line);
        if (line.fEndsLine && line.nPiece > 0)
            Warn(line.nLine, "line-split",
                 Format("the line is %lu bytes long: the reader reads it as %u lines, the first %lu bytes "
                        "long, and parses each on its own (a piece without \"=\" is dropped)",
                        static_cast<unsigned long>(m_cbPhysical), line.nPiece + 1,
                        static_cast<unsigned long>(profile_syntax::kMaxLine)));
        if (line.fEndsLine) m_cbPhysical = 0;
    }

private:
    void Warn(unsigned nLine, const char* pszCode, const std::string& sText)
    {
        m_findings.Add(eWarning, m_file.sName, nLine, pszCode, sText);
    }

    // The pieces after the first of a split line are described by the split's finding, not as
    // lines of their own.
    template <bool fDoubleByte>
    void Parse(const CLine& line)
    {
        const CProfileBytes& bytes = CProfileBytes::Get();
        CProfileSpan name, key, value;
        if (profile_syntax::HeaderName<fDoubleByte>(bytes, line.pText, line.pTextEnd, &name))
        {
            Header(AsString(name), line.nLine);
            return;
        }
        const profile_syntax::EKeyLine eKind =
            profile_syntax::SplitKeyLine<fDoubleByte>(bytes, line.pText, line.pTextEnd, &key, &value);
        if (eKind == profile_syntax::eBlankLine || eKind == profile_syntax::eComment) return;
        // After a header with an empty name its own finding covers the lines it loses.
        if (!m_pCurrent)
        {
            if (!m_fEmptyHeader && line.nPiece == 0)
                Warn(line.nLine, "line-ignored",
                     Format("\"%s\" comes before the first section header: the line is ignored",
                            Shortened(Trimmed<fDoubleByte>(line)).c_str()));
            return;
        }
        if (eKind == profile_syntax::eNoEquals)
        {
            if (line.nPiece == 0)
                Warn(line.nLine, "line-ignored",
                     Format("\"%s\" has no \"=\": the line is ignored", Shortened(Trimmed<fDoubleByte>(line)).c_str()));
            return;
        }
        if (eKind == profile_syntax::eNoKey)
        {
            Warn(line.nLine, "line-ignored", "the line has no key before its \"=\": it is ignored");
            return;
        }
        Key(AsString(key), value, line.nLine);
    }

    template <bool fDoubleByte>
    static std::string Trimmed(const CLine& line)
    {
        const char* p = line.pText;
        const char* pEnd = line.pTextEnd;
        profile_syntax::Trim<fDoubleByte>(CProfileBytes::Get(), p, pEnd);
        return std::string(p, pEnd);
    }

    void Header(const std::string& sName, unsigned nLine)
    {
        if (sName.empty())
        {
            Warn(nLine, "header-empty", "a section header with an empty name: the key lines up to the next header are ignored");
            m_pCurrent = NULL;
            m_fEmptyHeader = true;
            return;
        }
        m_fEmptyHeader = false;
        ScannedSection& section = m_file.sections[CVxCiString(sName.c_str())];
        if (section.nLine != 0)
            Warn(nLine, "section-repeated",
                 Format("section [%s] was begun on line %u: the reader merges both into one", sName.c_str(), section.nLine));
        else
            section.nLine = nLine;
        m_pCurrent = &section;
    }

    void Key(const std::string& sKey, CProfileSpan value, unsigned nLine)
    {
        const char* pszKey = sKey.c_str();
        const bool fOpens = value.cch > 0 && value.p[0] == '"';
        const bool fCloses = value.cch > 0 && value.p[value.cch - 1] == '"';
        if (fOpens && fCloses && value.cch == 1)
            Warn(nLine, "quote-unpaired", Format("the value of \"%s\" is a lone double quote: it reads as empty", pszKey));
        else if (fOpens != fCloses)
            Warn(nLine, "quote-unpaired",
                 Format("the value of \"%s\" has a double quote at one end only: it is kept in the value", pszKey));
        profile_syntax::StripQuotes(&value);
        const std::string sValue = AsString(value);
        // Keys compare as the case-insensitive string compares them; one look-up per key line.
        std::string sUpper = sKey;
        for (char& c : sUpper) c = static_cast<char>(CProfileBytes::Get().Upper(c));
        const auto first = m_pCurrent->firstKeys.emplace(sUpper, m_pCurrent->keys.size());
        if (!first.second)
        {
            const ScannedKey& earlier = m_pCurrent->keys[first.first->second];
            Warn(nLine, "key-repeated",
                 Format("\"%s\" was given on line %u: the later value \"%s\" wins over \"%s\"", pszKey, earlier.nLine,
                        Shortened(sValue).c_str(), Shortened(earlier.sValue).c_str()));
        }
        ScannedKey key;
        key.sKey = sKey;
        key.sValue = sValue;
        key.nLine = nLine;
        m_pCurrent->keys.push_back(key);
    }

    ScannedFile& m_file;
    FindingList& m_findings;
    ScannedSection* m_pCurrent = NULL;
    bool m_fEmptyHeader = false;
    bool m_fNulSeen = false;
    size_t m_cbPhysical = 0;  // bytes of the physical line so far, without its LF
};

std::string ReadAll(std::FILE* pFile)
{
    std::string sText;
    std::vector<char> block(64 * 1024);
    size_t cbRead;
    while ((cbRead = std::fread(block.data(), 1, block.size(), pFile)) > 0) sText.append(block.data(), cbRead);
    return sText;
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
    // Text mode: the reader ends a line's text at a CR and the file at Ctrl+Z as well, and a
    // split line's length is told in the bytes of the file as a text-mode read gives them.
    std::unique_ptr<std::FILE, FileCloser> pFile(std::fopen(sPath.c_str(), "r"));
    const DWORD dwAttributes = GetFileAttributesA(sPath.c_str());
    if (!pFile || (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY)))
    {
        findings.Add(eError, sName, 0, "file-missing",
                     dwAttributes == INVALID_FILE_ATTRIBUTES ? "the file is missing: the PDI reads nothing from it"
                                                             : "the file cannot be read: the PDI reads nothing from it");
        return file;
    }
    const std::string sText = ReadAll(pFile.get());
    size_t cbMark = 0;
    if (CheckEncoding(sText, sName, findings, &cbMark) == eEncodingUnreadable)
    {
        file.fMisencoded = true;
        return file;
    }
    file.fRead = true;
    Scanner scanner(file, findings);
    const char* const p = sText.data() + cbMark;
    if (CProfileBytes::Get().HasLeadBytes())
        profile_syntax::ForEachLine(p, sText.data() + sText.size(), [&](const CLine& line) { scanner.Line<true>(line); });
    else
        profile_syntax::ForEachLine(p, sText.data() + sText.size(), [&](const CLine& line) { scanner.Line<false>(line); });
    return file;
}

}  // namespace medcheck
