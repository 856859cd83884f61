// The device data files' syntax, read one way by every program of this tree: how a file's bytes
// fall into lines, and how a line's text is trimmed and split into a section header or a key and
// its value. The profile reader parses with it and the medium checker scans with it, so that the
// checker cannot read a file differently from the reader. No system calls but the code page's
// lead bytes, read once.
#ifndef INFRASTRUCTURE_PROFILE_SYNTAX_H
#define INFRASTRUCTURE_PROFILE_SYNTAX_H

#include <cstddef>
#include <cstring>

// Byte facts of the process's code page and C library, read once: the upper-case conversion
// that orders and matches names (the same as the case-insensitive string's) and the lead bytes
// of double-byte characters.
class CProfileBytes
{
public:
    static const CProfileBytes& Get();
    unsigned char Upper(char c) const { return m_upper[static_cast<unsigned char>(c)]; }
    bool IsLead(char c) const { return m_lead[static_cast<unsigned char>(c)]; }
    bool HasLeadBytes() const { return m_fAnyLead; }

private:
    CProfileBytes();
    unsigned char m_upper[256];
    bool m_lead[256];
    bool m_fAnyLead;
};

// Text held by a parsed file; not NUL-terminated.
struct CProfileSpan
{
    const char* p;
    size_t cch;
};

namespace profile_syntax
{

// A physical line is read in pieces of at most this many bytes (its LF included), each a line.
const size_t kMaxLine = 999;
// Section names are kept up to this many bytes.
const size_t kMaxSectionName = 249;

// One line as the reader reads it.
struct CLine
{
    unsigned nLine;       // the physical line it comes from, counted from 1
    unsigned nPiece;      // 0 for the first piece of a physical line, 1 for the next...
    bool fEndsLine;       // the last piece of its physical line
    CProfileSpan raw;     // the piece's bytes, its LF included
    const char* pText;    // its text: after leading CRs, up to the first LF, CR or NUL
    const char* pTextEnd;
};

// Blanks as the reader trims them. CR and LF never reach a line's text.
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

inline bool IsStop(char c) { return c == '\n' || c == '\r' || c == '\0'; }

// The first LF, CR or NUL in [p, pEnd), or pEnd; a machine word at a time.
inline const char* FindStop(const char* p, const char* pEnd)
{
    const size_t kOnes = ~static_cast<size_t>(0) / 0xFF;
    const size_t kHighs = kOnes * 0x80;
    while (static_cast<size_t>(pEnd - p) >= sizeof(size_t))
    {
        size_t v;
        std::memcpy(&v, p, sizeof(v));
        const size_t vLf = v ^ (kOnes * '\n');
        const size_t vCr = v ^ (kOnes * '\r');
        const size_t uZero = ((v - kOnes) & ~v) | ((vLf - kOnes) & ~vLf) | ((vCr - kOnes) & ~vCr);
        if (uZero & kHighs) break;
        p += sizeof(size_t);
    }
    while (p < pEnd && !IsStop(*p)) ++p;
    return p;
}

inline const char* FindByte(const char* p, const char* pEnd, char c)
{
    while (p < pEnd && *p != c) ++p;
    return p;
}

// One line starting at p: at most 999 bytes up to and including its LF. Returns where the next
// line starts.
inline const char* NextLine(const char* p, const char* pEnd, const char** ppText, const char** ppTextEnd)
{
    const char* const pLimit = static_cast<size_t>(pEnd - p) < kMaxLine ? pEnd : p + kMaxLine;
    const char* pText = p;
    while (pText < pLimit && *pText == '\r') ++pText;
    const char* const pTextEnd = FindStop(pText, pLimit);
    const char* pNewLine = pTextEnd;
    if (pNewLine < pLimit && *pNewLine != '\n') pNewLine = FindByte(pNewLine, pLimit, '\n');
    *ppText = pText;
    *ppTextEnd = pTextEnd;
    return pNewLine < pLimit ? pNewLine + 1 : pLimit;
}

// Calls f(const CLine&) for each line of [p, pEnd) in order, numbered from the first.
template <class F>
void ForEachLine(const char* p, const char* pEnd, F f)
{
    CLine line = {1, 0, false, {NULL, 0}, NULL, NULL};
    while (p < pEnd)
    {
        const char* const pNext = NextLine(p, pEnd, &line.pText, &line.pTextEnd);
        const bool fNewLine = pNext[-1] == '\n';
        line.fEndsLine = fNewLine || pNext == pEnd;
        line.raw.p = p;
        line.raw.cch = static_cast<size_t>(pNext - p);
        f(static_cast<const CLine&>(line));
        line.nPiece = fNewLine ? 0 : line.nPiece + 1;
        line.nLine += fNewLine ? 1 : 0;
        p = pNext;
    }
}

inline void TrimBlanks(const char*& p, const char*& pEnd)
{
    while (p < pEnd && IsBlank(*p)) ++p;
    while (pEnd > p && IsBlank(pEnd[-1])) --pEnd;
}

// Double-byte code pages: a trail byte may look like a blank, ']' or '=', so each text is walked
// from its start, character by character.
inline bool IsPair(const CProfileBytes& bytes, const char* p, const char* pEnd)
{
    return bytes.IsLead(*p) && p + 1 < pEnd;
}

inline void TrimCharacters(const CProfileBytes& bytes, const char*& p, const char*& pEnd)
{
    while (p < pEnd && IsBlank(*p)) ++p;
    const char* pLast = p;  // one past the last character that is no blank
    for (const char* q = p; q < pEnd;)
    {
        const size_t cb = IsPair(bytes, q, pEnd) ? 2 : 1;
        if (cb == 2 || !IsBlank(*q)) pLast = q + cb;
        q += cb;
    }
    pEnd = pLast;
}

template <bool fDoubleByte>
void Trim(const CProfileBytes& bytes, const char*& p, const char*& pEnd)
{
    if (fDoubleByte)
        TrimCharacters(bytes, p, pEnd);
    else
        TrimBlanks(p, pEnd);
}

// The first single-byte c in [p, pEnd), or pEnd.
inline const char* FindCharacter(const CProfileBytes& bytes, const char* p, const char* pEnd, char c)
{
    while (p < pEnd && *p != c) p += IsPair(bytes, p, pEnd) ? 2 : 1;
    return p < pEnd ? p : pEnd;
}

template <bool fDoubleByte>
const char* Find(const CProfileBytes& bytes, const char* p, const char* pEnd, char c)
{
    return fDoubleByte ? FindCharacter(bytes, p, pEnd, c) : FindByte(p, pEnd, c);
}

// The length of at most cbMax bytes of [p, p + cch) that ends between characters.
inline size_t CutLength(const CProfileBytes& bytes, const char* p, size_t cch, size_t cbMax)
{
    size_t i = 0;
    while (i < cch)
    {
        const size_t cbChar = IsPair(bytes, p + i, p + cch) ? 2 : 1;
        if (i + cbChar > cbMax) break;
        i += cbChar;
    }
    return i;
}

// A value in double quotes loses them; a lone quote leaves an empty value.
inline void StripQuotes(CProfileSpan* pValue)
{
    if (pValue->cch == 0 || pValue->p[0] != '"' || pValue->p[pValue->cch - 1] != '"') return;
    --pValue->cch;
    if (pValue->cch == 0) return;
    ++pValue->p;
    --pValue->cch;
}

// The section name of a line's text, or false when the text is no header. An empty name is a
// header too: it ends the section before it and starts none.
template <bool fDoubleByte>
bool HeaderName(const CProfileBytes& bytes, const char* p, const char* pEnd, CProfileSpan* pName)
{
    while (p < pEnd && IsBlank(*p)) ++p;
    if (p == pEnd || *p != '[') return false;
    const char* pStart = p + 1;
    const char* pNameEnd = Find<fDoubleByte>(bytes, pStart, pEnd, ']');
    if (pNameEnd == pEnd) return false;
    Trim<fDoubleByte>(bytes, pStart, pNameEnd);
    if (static_cast<size_t>(pNameEnd - pStart) > kMaxSectionName)
        pNameEnd = pStart + (fDoubleByte ? CutLength(bytes, pStart, static_cast<size_t>(pNameEnd - pStart), kMaxSectionName)
                                         : kMaxSectionName);
    Trim<fDoubleByte>(bytes, pStart, pNameEnd);
    *pName = CProfileSpan{pStart, static_cast<size_t>(pNameEnd - pStart)};
    return true;
}

// What the reader makes of a line within a section that is no header.
enum EKeyLine
{
    eBlankLine,  // nothing but blanks
    eComment,    // begins with ';'
    eNoEquals,   // no '='
    eNoKey,      // nothing before the '='
    eKeyValue    // a key and its value
};

// Splits a line's text at its first '=' into the key and the value, both trimmed; the value
// keeps its quotes (StripQuotes).
template <bool fDoubleByte>
EKeyLine SplitKeyLine(const CProfileBytes& bytes, const char* p, const char* pEnd, CProfileSpan* pKey,
                      CProfileSpan* pValue)
{
    Trim<fDoubleByte>(bytes, p, pEnd);
    if (p == pEnd) return eBlankLine;
    if (*p == ';') return eComment;
    const char* pEquals = Find<fDoubleByte>(bytes, p, pEnd, '=');
    if (pEquals == pEnd) return eNoEquals;
    const char* pKeyEnd = pEquals;
    const char* pValueText = pEquals + 1;
    Trim<fDoubleByte>(bytes, p, pKeyEnd);
    Trim<fDoubleByte>(bytes, pValueText, pEnd);
    if (p == pKeyEnd) return eNoKey;
    *pKey = CProfileSpan{p, static_cast<size_t>(pKeyEnd - p)};
    *pValue = CProfileSpan{pValueText, static_cast<size_t>(pEnd - pValueText)};
    return eKeyValue;
}

}  // namespace profile_syntax

#endif
