#include "parsed_profile.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "profile_syntax.h"

namespace
{

const size_t kFirstSlots = 64;
const size_t kReadBlock = 64 * 1024;
const size_t kSectionsPerBlock = 256;
// Sections of more lines than this get a hash table for their keys; shorter ones are searched.
const uint32_t kLinesSearched = 16;

// A table at most half full.
size_t SlotsFor(size_t cEntries)
{
    size_t cSlots = 8;
    while (cSlots < cEntries * 2) cSlots *= 2;
    return cSlots;
}

}  // namespace

CParsedProfile::CParsedProfile() : m_pBytes(&CProfileBytes::Get()), m_cchText(0) {}

void CParsedProfile::Clear()
{
    m_text.reset();
    m_cchText = 0;
    m_sections.clear();
    m_runs.clear();
    m_moreRuns.clear();
    std::vector<Index>().swap(m_sectionSlots);
    m_lines.clear();
    std::vector<std::unique_ptr<CSectionLines[]>>().swap(m_sectionLines);
    m_keySlots.clear();
    std::vector<Index>().swap(m_sorted);
}

void CParsedProfile::Swap(CParsedProfile& other)
{
    m_text.swap(other.m_text);
    std::swap(m_cchText, other.m_cchText);
    m_sections.swap(other.m_sections);
    m_runs.swap(other.m_runs);
    m_moreRuns.swap(other.m_moreRuns);
    m_sectionSlots.swap(other.m_sectionSlots);
    m_lines.swap(other.m_lines);
    m_sectionLines.swap(other.m_sectionLines);
    m_keySlots.swap(other.m_keySlots);
    m_sorted.swap(other.m_sorted);
}

void CParsedProfile::Parse(FILE* pFile, size_t cbExpected)
{
    Clear();
    try
    {
        // Read through a small buffer that stays in memory from one parse to the next, not
        // into the text's fresh pages: where memory is virtualised, pages first written by a
        // read are faulted in once more when the parse first reads them.
        std::unique_ptr<char[]> block(new char[kReadBlock]);
        size_t cbBuffer = cbExpected + 1;
        std::unique_ptr<char[]> text(new char[cbBuffer]);
        size_t cb = 0;
        size_t cbRead;
        while ((cbRead = std::fread(block.get(), 1, kReadBlock, pFile)) > 0)
        {
            if (cbBuffer - cb < cbRead)
            {
                while (cbBuffer - cb < cbRead) cbBuffer *= 2;
                std::unique_ptr<char[]> larger(new char[cbBuffer]);
                std::memcpy(larger.get(), text.get(), cb);
                text.swap(larger);
            }
            std::memcpy(text.get() + cb, block.get(), cbRead);
            cb += cbRead;
        }
        if (const void* pEndOfFile = std::memchr(text.get(), '\x1a', cb))
            cb = static_cast<size_t>(static_cast<const char*>(pEndOfFile) - text.get());
        m_text.swap(text);
        m_cchText = cb;
        FindHeaders();
    }
    catch (...)
    {
        Clear();
        throw;
    }
}

void CParsedProfile::FindHeaders()
{
    // Offsets and counts are 32-bit.
    if (m_cchText >= 0xFFFFFFF0u) throw std::bad_alloc();
    // Room for a section every 64 bytes before the table grows: data files rarely have more,
    // and the table is a sixteenth of the text at most.
    size_t cSlots = kFirstSlots;
    while (cSlots < m_cchText / 64) cSlots *= 2;
    m_sectionSlots.assign(cSlots, 0);
    if (m_pBytes->HasLeadBytes())
        FindHeadersIn<true>();
    else
        FindHeadersIn<false>();
}

template <bool fDoubleByte>
void CParsedProfile::FindHeadersIn()
{
    const char* const pBase = Text();
    Index nSection = kNone;
    profile_syntax::ForEachLine(pBase, pBase + m_cchText, [&](const profile_syntax::CLine& line) {
        CProfileSpan name;
        if (!profile_syntax::HeaderName<fDoubleByte>(*m_pBytes, line.pText, line.pTextEnd, &name)) return;
        if (nSection != kNone) CloseRun(nSection, static_cast<uint32_t>(line.raw.p - pBase));
        nSection = kNone;
        const uint32_t nRunBegin = static_cast<uint32_t>(line.raw.p + line.raw.cch - pBase);
        if (name.cch > 0) OpenSection(name.p, name.cch, nRunBegin, &nSection);
    });
    if (nSection != kNone) CloseRun(nSection, static_cast<uint32_t>(m_cchText));
}

void CParsedProfile::OpenSection(const char* pName, size_t cchName, uint32_t nRunBegin, Index* pnSection)
{
    const size_t iSlot = SectionSlot(pName, cchName);
    if (m_sectionSlots[iSlot] == 0)
    {
        const CSection section = {static_cast<uint32_t>(pName - Text()), nRunBegin, nRunBegin,
                                  static_cast<uint8_t>(cchName)};
        m_sections.push_back(section);
        *pnSection = static_cast<Index>(m_sections.size() - 1);
        m_sectionSlots[iSlot] = *pnSection + 1;
        if (m_sections.size() * 4 > m_sectionSlots.size() * 3) GrowSectionSlots();
        return;
    }
    // The name again: its lines continue the section.
    *pnSection = m_sectionSlots[iSlot] - 1;
    const CRun run = {nRunBegin, nRunBegin, kNone};
    m_runs.push_back(run);
    const Index nRun = static_cast<Index>(m_runs.size() - 1);
    const CMoreRuns none = {kNone, kNone};
    CMoreRuns& more = m_moreRuns.emplace(*pnSection, none).first->second;
    if (more.nLast == kNone)
        more.nFirst = nRun;
    else
        m_runs[more.nLast].nNext = nRun;
    more.nLast = nRun;
}

void CParsedProfile::CloseRun(Index nSection, uint32_t nRunEnd)
{
    if (!m_moreRuns.empty())
    {
        std::map<Index, CMoreRuns>::const_iterator it = m_moreRuns.find(nSection);
        if (it != m_moreRuns.end())
        {
            m_runs[it->second.nLast].nEnd = nRunEnd;
            return;
        }
    }
    m_sections[nSection].nRunEnd = nRunEnd;
}

template <bool fDoubleByte>
void CParsedProfile::IndexRun(uint32_t nBegin, uint32_t nEnd) const
{
    const char* const pBase = Text();
    profile_syntax::ForEachLine(pBase + nBegin, pBase + nEnd, [&](const profile_syntax::CLine& text) {
        CProfileSpan key, value;
        if (profile_syntax::SplitKeyLine<fDoubleByte>(*m_pBytes, text.pText, text.pTextEnd, &key, &value) !=
            profile_syntax::eKeyValue)
            return;
        profile_syntax::StripQuotes(&value);
        const CKeyLine line = {static_cast<uint32_t>(key.p - pBase), static_cast<uint32_t>(value.p - pBase),
                               static_cast<uint16_t>(key.cch), static_cast<uint16_t>(value.cch)};
        m_lines.push_back(line);
    });
}

const CParsedProfile::CSectionLines& CParsedProfile::IndexedLines(Index nSection) const
{
    if (m_sectionLines.empty()) m_sectionLines.resize((m_sections.size() + kSectionsPerBlock - 1) / kSectionsPerBlock);
    std::unique_ptr<CSectionLines[]>& block = m_sectionLines[nSection / kSectionsPerBlock];
    if (!block)
    {
        block.reset(new CSectionLines[kSectionsPerBlock]);
        const CSectionLines notYet = {kNone, kNone};
        std::fill(block.get(), block.get() + kSectionsPerBlock, notYet);
    }
    CSectionLines& lines = block[nSection % kSectionsPerBlock];
    if (lines.cLines != kNone) return lines;

    const Index nFirst = static_cast<Index>(m_lines.size());
    const bool fDoubleByte = m_pBytes->HasLeadBytes();
    const CSection& section = m_sections[nSection];
    uint32_t nBegin = section.nRunBegin;
    uint32_t nEnd = section.nRunEnd;
    std::map<Index, CMoreRuns>::const_iterator itMore = m_moreRuns.find(nSection);
    for (Index nRun = itMore == m_moreRuns.end() ? kNone : itMore->second.nFirst;; nRun = m_runs[nRun].nNext)
    {
        if (fDoubleByte)
            IndexRun<true>(nBegin, nEnd);
        else
            IndexRun<false>(nBegin, nEnd);
        if (nRun == kNone) break;
        nBegin = m_runs[nRun].nBegin;
        nEnd = m_runs[nRun].nEnd;
    }
    const uint32_t cLines = static_cast<uint32_t>(m_lines.size() - nFirst);
    if (cLines > kLinesSearched)
    {
        std::vector<Index> slots(SlotsFor(cLines), 0);
        const size_t uMask = slots.size() - 1;
        for (uint32_t i = 0; i < cLines; ++i)
        {
            const CKeyLine& line = m_lines[nFirst + i];
            const char* pKey = Text() + line.nKey;
            size_t iSlot = Hash(pKey, line.cchKey) & uMask;
            while (slots[iSlot] != 0)
            {
                const CKeyLine& held = m_lines[nFirst + slots[iSlot] - 1];
                if (SameName(Text() + held.nKey, held.cchKey, pKey, line.cchKey)) break;
                iSlot = (iSlot + 1) & uMask;
            }
            slots[iSlot] = i + 1;  // a later line's value wins
        }
        m_keySlots[nSection].swap(slots);
    }
    lines.nFirst = nFirst;
    lines.cLines = cLines;
    return lines;
}

// FNV-1a over the upper-case bytes, so that names equal but for case hash alike.
uint32_t CParsedProfile::Hash(const char* p, size_t cch) const
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < cch; ++i)
    {
        h ^= m_pBytes->Upper(p[i]);
        h *= 16777619u;
    }
    // FNV's low bits follow the last bytes closely ("Model 1", "Model 2"...); the slots are
    // chosen by them, so the bits are mixed first.
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    return h ^ (h >> 16);
}

bool CParsedProfile::SameName(const char* a, size_t cchA, const char* b, size_t cchB) const
{
    if (cchA != cchB) return false;
    for (size_t i = 0; i < cchA; ++i)
    {
        if (m_pBytes->Upper(a[i]) != m_pBytes->Upper(b[i])) return false;
    }
    return true;
}

size_t CParsedProfile::SectionSlot(const char* pName, size_t cchName) const
{
    const size_t uMask = m_sectionSlots.size() - 1;
    for (size_t i = Hash(pName, cchName) & uMask;; i = (i + 1) & uMask)
    {
        const Index nSlot = m_sectionSlots[i];
        if (nSlot == 0) return i;
        const CSection& section = m_sections[nSlot - 1];
        if (SameName(Text() + section.nName, section.cchName, pName, cchName)) return i;
    }
}

// Every name in the table differs from the others, so each goes to the first free slot.
void CParsedProfile::GrowSectionSlots()
{
    std::vector<Index> slots(m_sectionSlots.size() * 2, 0);
    const size_t uMask = slots.size() - 1;
    for (Index nSlot : m_sectionSlots)
    {
        if (nSlot == 0) continue;
        const CSection& section = m_sections[nSlot - 1];
        size_t i = Hash(Text() + section.nName, section.cchName) & uMask;
        while (slots[i] != 0) i = (i + 1) & uMask;
        slots[i] = nSlot;
    }
    m_sectionSlots.swap(slots);
}

CParsedProfile::Index CParsedProfile::FindSection(const char* pszName) const
{
    if (m_sections.size() == 0) return kNone;
    const size_t iSlot = SectionSlot(pszName, std::strlen(pszName));
    return m_sectionSlots[iSlot] == 0 ? kNone : m_sectionSlots[iSlot] - 1;
}

CProfileSpan CParsedProfile::SectionName(Index nSection) const
{
    return Span(m_sections[nSection].nName, m_sections[nSection].cchName);
}

bool CParsedProfile::FindValue(Index nSection, const char* pszKey, CProfileSpan* pValue) const
{
    const CSectionLines& lines = IndexedLines(nSection);
    const size_t cchKey = std::strlen(pszKey);
    const CKeyLine* pFound = NULL;
    if (lines.cLines > kLinesSearched)
    {
        const std::vector<Index>& slots = m_keySlots[nSection];
        const size_t uMask = slots.size() - 1;
        for (size_t i = Hash(pszKey, cchKey) & uMask; slots[i] != 0; i = (i + 1) & uMask)
        {
            const CKeyLine& line = m_lines[lines.nFirst + slots[i] - 1];
            if (SameName(Text() + line.nKey, line.cchKey, pszKey, cchKey))
            {
                pFound = &line;
                break;
            }
        }
    }
    else
    {
        for (uint32_t i = lines.cLines; i > 0 && !pFound; --i)
        {
            const CKeyLine& line = m_lines[lines.nFirst + i - 1];
            if (SameName(Text() + line.nKey, line.cchKey, pszKey, cchKey)) pFound = &line;
        }
    }
    if (!pFound) return false;
    *pValue = Span(pFound->nValue, pFound->cchValue);
    return true;
}

const std::vector<CParsedProfile::Index>& CParsedProfile::SortedSections() const
{
    if (m_sorted.size() == m_sections.size()) return m_sorted;
    m_sorted.resize(m_sections.size());
    for (size_t i = 0; i < m_sorted.size(); ++i) m_sorted[i] = static_cast<Index>(i);
    const CProfileBytes& bytes = *m_pBytes;
    std::sort(m_sorted.begin(), m_sorted.end(), [this, &bytes](Index a, Index b) {
        const CSection& sa = m_sections[a];
        const CSection& sb = m_sections[b];
        const char* pa = Text() + sa.nName;
        const char* pb = Text() + sb.nName;
        const size_t n = sa.cchName < sb.cchName ? sa.cchName : sb.cchName;
        for (size_t i = 0; i < n; ++i)
        {
            const unsigned char ca = bytes.Upper(pa[i]);
            const unsigned char cb = bytes.Upper(pb[i]);
            if (ca != cb) return ca < cb;
        }
        return sa.cchName < sb.cchName;
    });
    return m_sorted;
}

size_t CParsedProfile::SectionLineBytes() const
{
    size_t cb = m_sectionLines.capacity() * sizeof(std::unique_ptr<CSectionLines[]>);
    for (const std::unique_ptr<CSectionLines[]>& block : m_sectionLines)
    {
        if (block) cb += kSectionsPerBlock * sizeof(CSectionLines);
    }
    return cb;
}

size_t CParsedProfile::MemoryBytes() const
{
    // A map node holds the key and the vector beside the tree's own links.
    const size_t cbMapNode = 4 * sizeof(void*) + sizeof(Index) + sizeof(std::vector<Index>);
    size_t cbKeySlots = 0;
    for (const auto& slots : m_keySlots) cbKeySlots += cbMapNode + slots.second.capacity() * sizeof(Index);
    const size_t cbMoreRuns = m_moreRuns.size() * (4 * sizeof(void*) + sizeof(Index) + sizeof(CMoreRuns));
    return m_cchText + m_sections.MemoryBytes() + m_runs.MemoryBytes() + cbMoreRuns +
           m_sectionSlots.capacity() * sizeof(Index) +
           m_lines.MemoryBytes() + SectionLineBytes() + cbKeySlots +
           m_sorted.capacity() * sizeof(Index);
}
