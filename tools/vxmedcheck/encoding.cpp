#include "encoding.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "profile_syntax.h"

namespace medcheck
{

namespace
{

const char kCode[] = "file-encoding";
const char kMend[] = "; save the file as ANSI, without a byte-order mark";
const char kUtf8Mark[] = "\xEF\xBB\xBF";
const size_t kUtf8MarkBytes = 3;
const size_t kSampleBytes = 4096;  // enough pairs to tell UTF-16 by its NULs

enum EUtf16
{
    eNotUtf16,
    eLittleEndian,
    eBigEndian
};

// A byte-order mark, or NUL bytes in at least half of one side of the byte pairs and in few of
// the other: the ASCII characters that every profile file is mostly made of.
EUtf16 Utf16Order(const std::string& s, bool* pfMark)
{
    *pfMark = s.size() >= 2 && ((s[0] == '\xFF' && s[1] == '\xFE') || (s[0] == '\xFE' && s[1] == '\xFF'));
    if (*pfMark) return s[0] == '\xFF' ? eLittleEndian : eBigEndian;
    const size_t cPairs = std::min(s.size(), kSampleBytes) / 2;
    size_t cEvenNul = 0, cOddNul = 0;
    for (size_t i = 0; i < cPairs; ++i)
    {
        cEvenNul += s[2 * i] == '\0' ? 1 : 0;
        cOddNul += s[2 * i + 1] == '\0' ? 1 : 0;
    }
    if (cPairs < 2) return eNotUtf16;
    if (cOddNul * 2 >= cPairs && cEvenNul * 8 <= cPairs) return eLittleEndian;
    if (cEvenNul * 2 >= cPairs && cOddNul * 8 <= cPairs) return eBigEndian;
    return eNotUtf16;
}

// The code point of the UTF-8 sequence at p and its length in *pcb; -1 when none starts there.
long DecodeUtf8(const unsigned char* p, const unsigned char* pEnd, size_t* pcb)
{
    size_t cb = 0;
    long lCode = 0, lLeast = 0;
    if (*p < 0x80)
    {
        *pcb = 1;
        return *p;
    }
    if (*p >= 0xC2 && *p <= 0xDF)
    {
        cb = 2;
        lCode = *p & 0x1F;
        lLeast = 0x80;
    }
    else if (*p >= 0xE0 && *p <= 0xEF)
    {
        cb = 3;
        lCode = *p & 0x0F;
        lLeast = 0x800;
    }
    else if (*p >= 0xF0 && *p <= 0xF4)
    {
        cb = 4;
        lCode = *p & 0x07;
        lLeast = 0x10000;
    }
    else
    {
        return -1;
    }
    if (static_cast<size_t>(pEnd - p) < cb) return -1;
    for (size_t i = 1; i < cb; ++i)
    {
        if ((p[i] & 0xC0) != 0x80) return -1;
        lCode = (lCode << 6) | (p[i] & 0x3F);
    }
    if (lCode < lLeast || lCode > 0x10FFFF || (lCode >= 0xD800 && lCode <= 0xDFFF)) return -1;
    *pcb = cb;
    return lCode;
}

// Every byte above 0x7F belongs to a UTF-8 sequence. ANSI text of any code page almost never
// passes: its accented letters and double-byte characters break the sequences' rules.
bool IsUtf8(const std::string& s, size_t iStart)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data()) + iStart;
    const unsigned char* const pEnd = reinterpret_cast<const unsigned char*>(s.data()) + s.size();
    while (p < pEnd)
    {
        size_t cb = 0;
        if (DecodeUtf8(p, pEnd, &cb) < 0) return false;
        p += cb;
    }
    return true;
}

// The UTF-8 text in the system's ANSI code page, as the author meant it to read.
std::string Utf8AsAnsi(const std::string& s)
{
    std::vector<WCHAR> wide;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    const unsigned char* const pEnd = p + s.size();
    while (p < pEnd)
    {
        size_t cb = 1;
        const long lCode = DecodeUtf8(p, pEnd, &cb);
        if (lCode < 0) wide.push_back(L'?');
        else if (lCode < 0x10000) wide.push_back(static_cast<WCHAR>(lCode));
        else
        {
            wide.push_back(static_cast<WCHAR>(0xD800 + ((lCode - 0x10000) >> 10)));
            wide.push_back(static_cast<WCHAR>(0xDC00 + ((lCode - 0x10000) & 0x3FF)));
        }
        p += cb;
    }
    if (wide.empty()) return std::string();
    const int cwch = static_cast<int>(wide.size());
    const int cb = WideCharToMultiByte(CP_ACP, 0, wide.data(), cwch, NULL, 0, NULL, NULL);
    if (cb <= 0) return "?";
    std::string sAnsi(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), cwch, &sAnsi[0], cb, NULL, NULL);
    return sAnsi;
}

std::string Shortened(const std::string& s) { return s.size() <= 60 ? s : s.substr(0, 57) + "..."; }

// The first line the reader takes text from (neither blank nor a comment) that holds a
// character above ASCII: its number and its trimmed text. Comments may say anything.
unsigned FirstNonAsciiLine(const std::string& s, size_t iStart, std::string* psText)
{
    unsigned nFound = 0;
    profile_syntax::ForEachLine(s.data() + iStart, s.data() + s.size(), [&](const profile_syntax::CLine& line) {
        const char* p = line.pText;
        const char* pEnd = line.pTextEnd;
        profile_syntax::TrimBlanks(p, pEnd);
        if (nFound || p == pEnd || *p == ';') return;
        if (std::find_if(p, pEnd, [](char c) { return static_cast<unsigned char>(c) >= 0x80; }) == pEnd) return;
        nFound = line.nLine;
        *psText = std::string(p, pEnd);
    });
    return nFound;
}

// The section header that line 1 holds once its byte-order mark is gone, as the reader would
// read it; false when it holds none.
bool HeaderAfterMark(const std::string& s, std::string* psName)
{
    const char* const pEnd = s.data() + s.size();
    const char *pText = NULL, *pTextEnd = NULL;
    profile_syntax::NextLine(s.data() + kUtf8MarkBytes, pEnd, &pText, &pTextEnd);
    const CProfileBytes& bytes = CProfileBytes::Get();
    CProfileSpan name = {NULL, 0};
    const bool fHeader = bytes.HasLeadBytes() ? profile_syntax::HeaderName<true>(bytes, pText, pTextEnd, &name)
                                              : profile_syntax::HeaderName<false>(bytes, pText, pTextEnd, &name);
    if (fHeader) *psName = std::string(name.p, name.cch);
    return fHeader;
}

}  // namespace

EEncodingVerdict CheckEncoding(const std::string& sBytes, const std::string& sName, FindingList& findings,
                               size_t* pcbMark)
{
    *pcbMark = 0;
    bool fMark = false;
    const EUtf16 eOrder = Utf16Order(sBytes, &fMark);
    if (eOrder != eNotUtf16)
    {
        findings.Add(eError, sName, 1, kCode,
                     Format("the file is saved as UTF-16 (%s, %s byte-order mark): the reader sees a NUL byte beside "
                            "every character and stops each line at it, so it reads no section and no key of the file%s",
                            eOrder == eLittleEndian ? "little-endian" : "big-endian", fMark ? "with a" : "without a", kMend));
        return eEncodingUnreadable;
    }
    const bool fUtf8Mark = sBytes.compare(0, kUtf8MarkBytes, kUtf8Mark) == 0;
    const size_t iText = fUtf8Mark ? kUtf8MarkBytes : 0;
    std::string sLine;
    const unsigned nLine = IsUtf8(sBytes, iText) ? FirstNonAsciiLine(sBytes, iText, &sLine) : 0;
    const std::string sCharacters =
        nLine ? Format("%s takes each UTF-8 character for two or more ANSI ones, so line %u reads \"%s\", not \"%s\"",
                       fUtf8Mark ? ", and it" : ": the reader", nLine, Shortened(sLine).c_str(),
                       Shortened(Utf8AsAnsi(sLine)).c_str())
              : std::string();
    if (fUtf8Mark)
    {
        const char kMarkText[] = "the file begins with a UTF-8 byte-order mark (bytes EF BB BF): the reader takes them "
                                 "for text of line 1";
        std::string sHeader;
        if (HeaderAfterMark(sBytes, &sHeader))
        {
            findings.Add(eError, sName, 1, kCode,
                         Format("%s, so [%s] is no section header to it and the keys under it are lost%s%s", kMarkText,
                                sHeader.c_str(), sCharacters.c_str(), kMend));
            return eEncodingUnreadable;
        }
        findings.Add(eWarning, sName, 1, kCode, Format("%s, which it ignores anyway%s%s", kMarkText, sCharacters.c_str(), kMend));
        *pcbMark = kUtf8MarkBytes;
        return eEncodingWarned;
    }
    if (!nLine) return eEncodingAnsi;
    findings.Add(eWarning, sName, 1, kCode, Format("the file is saved as UTF-8%s%s", sCharacters.c_str(), kMend));
    return eEncodingWarned;
}

}  // namespace medcheck
