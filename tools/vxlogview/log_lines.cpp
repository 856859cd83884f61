#include "log_lines.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace logview
{

namespace
{

const size_t kLargestFile = 64u * 1024u * 1024u;  // a hundred runs' worth of tracing and more

// Owns a file handle opened for reading; a log still being written may be read too.
class InputFile
{
public:
    explicit InputFile(const std::string& sPath)
        : m_hFile(CreateFileA(sPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL))
    {
    }
    ~InputFile()
    {
        if (IsOpen()) CloseHandle(m_hFile);
    }
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE && m_hFile != NULL; }
    HANDLE Get() const { return m_hFile; }

private:
    InputFile(const InputFile&);
    InputFile& operator=(const InputFile&);
    HANDLE m_hFile;
};

bool IsHexDigit(unsigned char c) { return std::isdigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool ReadAll(const std::string& sPath, std::string* psBytes, std::string* psProblem)
{
    InputFile file(sPath);
    if (!file.IsOpen())
    {
        *psProblem = sPath + ": the file cannot be opened (missing, or no right to read it)";
        return false;
    }
    char buffer[65536];
    for (;;)
    {
        DWORD cbRead = 0;
        if (!ReadFile(file.Get(), buffer, sizeof(buffer), &cbRead, NULL))
        {
            *psProblem = sPath + ": the file could not be read to its end";
            return false;
        }
        if (cbRead == 0) return true;
        if (psBytes->size() + cbRead > kLargestFile)
        {
            *psProblem = sPath + ": the file is larger than 64 MB; no log of one PDI run is that large";
            return false;
        }
        psBytes->append(buffer, cbRead);
    }
}

// Text of any single- or double-byte code page has no NUL and few control characters.
bool LooksBinary(const std::string& sBytes)
{
    size_t cControl = 0;
    for (size_t i = 0; i < sBytes.size(); ++i)
    {
        const unsigned char c = static_cast<unsigned char>(sBytes[i]);
        if (c == 0) return true;
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f') ++cControl;
    }
    return cControl * 100 > sBytes.size();
}

void SplitLines(const std::string& sBytes, TextFile* pFile)
{
    size_t iStart = 0;
    for (size_t i = 0; i < sBytes.size(); ++i)
    {
        if (sBytes[i] != '\r' && sBytes[i] != '\n') continue;
        pFile->lines.push_back(sBytes.substr(iStart, i - iStart));
        if (sBytes[i] == '\r' && i + 1 < sBytes.size() && sBytes[i + 1] == '\n') ++i;
        iStart = i + 1;
    }
    pFile->fLastLineCut = iStart < sBytes.size();
    if (pFile->fLastLineCut) pFile->lines.push_back(sBytes.substr(iStart));
}

bool StartsWith(const std::string& s, const char* pszPrefix) { return s.compare(0, std::strlen(pszPrefix), pszPrefix) == 0; }

bool EndsWith(const std::string& s, const char* pszSuffix)
{
    const size_t cch = std::strlen(pszSuffix);
    return s.size() >= cch && s.compare(s.size() - cch, cch, pszSuffix) == 0;
}

// "[<file>, Line <n>]: <text>"
bool ParseSourced(const std::string& sLine, InstallLine* pLine)
{
    if (sLine.empty() || sLine[0] != '[') return false;
    const size_t iLineWord = sLine.find(", Line ");
    if (iLineWord == std::string::npos) return false;
    size_t i = iLineWord + 7;
    const size_t iDigits = i;
    if (i < sLine.size() && sLine[i] == '-') ++i;
    while (i < sLine.size() && std::isdigit(static_cast<unsigned char>(sLine[i]))) ++i;
    if (i == iDigits || sLine.compare(i, 3, "]: ") != 0) return false;
    pLine->sSource = sLine.substr(1, iLineWord - 1);
    pLine->lSourceLine = std::strtol(sLine.substr(iDigits, i - iDigits).c_str(), NULL, 10);
    pLine->sText = sLine.substr(i + 3);
    return true;
}

bool ParseDigits(const std::string& s, size_t iStart, size_t cch, bool fHex, unsigned long* pulValue)
{
    if (iStart + cch > s.size()) return false;
    for (size_t i = iStart; i < iStart + cch; ++i)
    {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (!(fHex ? IsHexDigit(c) : std::isdigit(c))) return false;
    }
    *pulValue = std::strtoul(s.substr(iStart, cch).c_str(), NULL, fHex ? 16 : 10);
    return true;
}

}  // namespace

bool ReadTextFile(const std::string& sPath, TextFile* pFile, std::string* psProblem)
{
    std::string sBytes;
    if (!ReadAll(sPath, &sBytes, psProblem)) return false;
    if (sBytes.empty())
    {
        *psProblem = sPath + ": the file is empty (a run ended before it wrote its first line leaves such a file)";
        return false;
    }
    if (LooksBinary(sBytes))
    {
        *psProblem = sPath + ": the file holds binary data, not the text lines of a log";
        return false;
    }
    pFile->sPath = sPath;
    SplitLines(sBytes, pFile);
    for (size_t i = 0; i < pFile->lines.size(); ++i)
    {
        if (pFile->lines[i].size() > kLongestLine)
        {
            char szNumbers[96];
            std::snprintf(szNumbers, sizeof(szNumbers), "line %lu is %lu characters long",
                          static_cast<unsigned long>(i + 1), static_cast<unsigned long>(pFile->lines[i].size()));
            *psProblem = sPath + ": " + szNumbers + "; the PDI writes no line longer than 65536 characters";
            return false;
        }
    }
    return true;
}

bool ReadFileTail(const std::string& sPath, size_t cbMost, std::string* psBytes)
{
    InputFile file(sPath);
    if (!file.IsOpen()) return false;
    const DWORD cbFile = GetFileSize(file.Get(), NULL);
    if (cbFile == INVALID_FILE_SIZE) return false;
    const DWORD cbTail = cbFile < cbMost ? cbFile : static_cast<DWORD>(cbMost);
    if (SetFilePointer(file.Get(), static_cast<LONG>(cbFile - cbTail), NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    psBytes->assign(cbTail, '\0');
    DWORD cbRead = 0;
    if (cbTail > 0 && !ReadFile(file.Get(), &(*psBytes)[0], cbTail, &cbRead, NULL)) return false;
    psBytes->resize(cbRead);
    return true;
}

std::string LastLineOf(const std::string& sBytes)
{
    const size_t iEnd = sBytes.find_last_not_of("\r\n");
    if (iEnd == std::string::npos) return std::string();
    const size_t iBreak = sBytes.find_last_of("\r\n", iEnd);
    const size_t iStart = iBreak == std::string::npos ? 0 : iBreak + 1;
    return sBytes.substr(iStart, iEnd + 1 - iStart);
}

std::vector<InstallLine> ParseInstallLog(const TextFile& file)
{
    std::vector<InstallLine> lines;
    for (size_t i = 0; i < file.lines.size(); ++i)
    {
        const std::string& sLine = file.lines[i];
        InstallLine line;
        line.iLine = i + 1;
        if (sLine.empty())
        {
            line.eKind = eInstallBlank;
        }
        else if (StartsWith(sLine, "**** ") && EndsWith(sLine, " - Logging Enabled ****"))
        {
            line.eKind = eInstallHeader;
            line.sText = sLine.substr(5, sLine.size() - 5 - 23);
        }
        else if (ParseSourced(sLine, &line))
        {
            line.eKind = eInstallSourced;
            if (StartsWith(line.sText, "Error --> "))
            {
                line.eKind = eInstallCondition;
                line.sText.erase(0, 10);
            }
        }
        else
        {
            line.eKind = eInstallMessage;
            line.sText = sLine;
        }
        lines.push_back(line);
    }
    return lines;
}

bool HasInstallLogHeader(const std::vector<InstallLine>& lines)
{
    for (size_t i = 0; i < lines.size(); ++i)
    {
        if (lines[i].eKind != eInstallBlank) return lines[i].eKind == eInstallHeader;
    }
    return false;
}

// "<14 digits or nothing>:<hex micros>:<4 hex>(<4 digits>-<4 digits>)(<module>)<marker><text>"
bool ParseTraceLine(const std::string& sLine, TraceLine* pLine)
{
    size_t i = 0;
    unsigned long ulValue = 0;
    if (ParseDigits(sLine, 0, 14, false, &ulValue) && sLine.size() > 14 && sLine[14] == ':')
    {
        pLine->sTime = sLine.substr(0, 14);
        i = 15;
    }
    else if (!sLine.empty() && sLine[0] == ':')
    {
        i = 1;
    }
    else
    {
        return false;
    }
    const size_t iColon = sLine.find(':', i);
    if (iColon == std::string::npos || iColon - i < 7 || iColon - i > 16) return false;
    if (!ParseDigits(sLine, i, iColon - i, true, &pLine->ulMicros)) return false;
    pLine->fMicros = true;
    i = iColon + 1;
    unsigned long ulCategory = 0, ulStart = 0, ulPrevious = 0;
    if (!ParseDigits(sLine, i, 4, true, &ulCategory) || sLine.compare(i + 4, 1, "(") != 0) return false;
    if (!ParseDigits(sLine, i + 5, 4, false, &ulStart) || sLine.compare(i + 9, 1, "-") != 0) return false;
    if (!ParseDigits(sLine, i + 10, 4, false, &ulPrevious) || sLine.compare(i + 14, 2, ")(") != 0) return false;
    i += 16;
    const size_t iModuleEnd = sLine.find(')', i);
    if (iModuleEnd == std::string::npos) return false;
    pLine->uCategory = static_cast<unsigned>(ulCategory);
    pLine->uSecondsSinceStart = static_cast<unsigned>(ulStart);
    pLine->uSecondsSincePrevious = static_cast<unsigned>(ulPrevious);
    pLine->sModule = sLine.substr(i, iModuleEnd - i);
    std::string sText = sLine.substr(iModuleEnd + 1);
    static const char* const kMarkers[] = {"-> ", "<- ", "## ", "= "};
    for (size_t m = 0; m < sizeof(kMarkers) / sizeof(kMarkers[0]); ++m)
    {
        if (StartsWith(sText, kMarkers[m])) sText.erase(0, std::strlen(kMarkers[m]));
    }
    pLine->sText = sText;
    return true;
}

std::vector<TraceLine> ParseTrace(const TextFile& file, size_t* pcForeign)
{
    std::vector<TraceLine> lines;
    *pcForeign = 0;
    for (size_t i = 0; i < file.lines.size(); ++i)
    {
        if (file.lines[i].empty()) continue;
        TraceLine line;
        line.iLine = i + 1;
        if (ParseTraceLine(file.lines[i], &line)) lines.push_back(line);
        else ++*pcForeign;
    }
    return lines;
}

bool ReadInstallLog(const std::string& sPath, TextFile* pFile, std::string* psProblem)
{
    if (!ReadTextFile(sPath, pFile, psProblem)) return false;
    if (HasInstallLogHeader(ParseInstallLog(*pFile))) return true;
    *psProblem = sPath + ": not an install log of the PDI (its first line is not the \"Logging Enabled\" header); "
                         "the install log is vxvxdiNN.log, the trace vxfpdiNNN.log";
    return false;
}

bool ReadTrace(const std::string& sPath, TextFile* pFile, std::string* psProblem)
{
    if (!ReadTextFile(sPath, pFile, psProblem)) return false;
    size_t iFirst = 0;
    while (iFirst < pFile->lines.size() && pFile->lines[iFirst].empty()) ++iFirst;
    TraceLine first;
    if (iFirst < pFile->lines.size() && ParseTraceLine(pFile->lines[iFirst], &first)) return true;
    *psProblem = sPath + ": not a trace file (its first line has no trace time stamp and category)";
    return false;
}

}  // namespace logview
