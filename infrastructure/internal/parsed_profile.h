// One device data file as the profile reader caches it: the file's text, read once, and an
// index into it. The parse finds the sections; a section's key lines are indexed the first time
// the section is read, so a file costs little more than its bytes until it is used. Not
// thread-safe, not even for const calls: the reader's cache lock guards every object.
#ifndef INFRASTRUCTURE_PARSED_PROFILE_H
#define INFRASTRUCTURE_PARSED_PROFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "profile_syntax.h"

// A growing array that never moves what it holds: blocks of a fixed size, so that growth
// copies nothing and leaves at most one block partly unused.
template <class T>
class CBlockArray
{
public:
    CBlockArray() : m_cItems(0) {}
    size_t size() const { return m_cItems; }
    T& operator[](size_t i) { return m_blocks[i / kBlock][i % kBlock]; }
    const T& operator[](size_t i) const { return m_blocks[i / kBlock][i % kBlock]; }
    void push_back(const T& item)
    {
        if (m_cItems == m_blocks.size() * kBlock) m_blocks.emplace_back(new T[kBlock]);
        (*this)[m_cItems++] = item;
    }
    void clear()
    {
        std::vector<std::unique_ptr<T[]>>().swap(m_blocks);
        m_cItems = 0;
    }
    void swap(CBlockArray& other)
    {
        m_blocks.swap(other.m_blocks);
        std::swap(m_cItems, other.m_cItems);
    }
    size_t MemoryBytes() const
    {
        return m_blocks.size() * kBlock * sizeof(T) + m_blocks.capacity() * sizeof(std::unique_ptr<T[]>);
    }

private:
    static const size_t kBlock = 512;
    std::vector<std::unique_ptr<T[]>> m_blocks;
    size_t m_cItems;
};

class CParsedProfile
{
public:
    typedef uint32_t Index;
    static constexpr Index kNone = 0xFFFFFFFFu;

    CParsedProfile();

    // Reads a stream opened in binary mode to its end and parses it, replacing what was held;
    // cbExpected sizes the first read. The text is what a text-mode read would give: it ends at
    // the first Ctrl+Z, and a CR before an LF, which that read drops, ends a line's text anyway.
    // Throws std::bad_alloc, leaving the object empty.
    void Parse(FILE* pFile, size_t cbExpected);
    void Clear();
    void Swap(CParsedProfile& other);

    size_t SectionCount() const { return m_sections.size(); }
    Index FindSection(const char* pszName) const;
    CProfileSpan SectionName(Index nSection) const;
    // Section indexes by name, case ignored, the shorter of two that agree first.
    const std::vector<Index>& SortedSections() const;

    // The value of the section's last line for the key. Throws std::bad_alloc.
    bool FindValue(Index nSection, const char* pszKey, CProfileSpan* pValue) const;

    // Calls f(key) for each key line of the section in file order, the key as that line spells
    // it; stops when f returns false. Throws std::bad_alloc.
    template <class F>
    void ForEachKey(Index nSection, F f) const
    {
        const CSectionLines& lines = IndexedLines(nSection);
        for (uint32_t i = 0; i < lines.cLines; ++i)
        {
            const CKeyLine& line = m_lines[lines.nFirst + i];
            if (!f(Span(line.nKey, line.cchKey))) return;
        }
    }

    // The heap bytes the object holds, by its containers' sizes.
    size_t MemoryBytes() const;

private:
    // A section's lines lie in runs of text between its header and the next one; a section
    // whose header appears again has more runs.
    struct CSection
    {
        uint32_t nName;
        uint32_t nRunBegin;
        uint32_t nRunEnd;
        uint8_t cchName;  // at most 249
    };
    struct CMoreRuns
    {
        Index nFirst;
        Index nLast;
    };
    struct CRun
    {
        uint32_t nBegin;
        uint32_t nEnd;
        Index nNext;
    };
    struct CKeyLine
    {
        uint32_t nKey;
        uint32_t nValue;
        uint16_t cchKey;  // a line has at most 999 bytes
        uint16_t cchValue;
    };
    // Where a section's lines went in m_lines; cLines is kNone until the section is indexed.
    struct CSectionLines
    {
        Index nFirst;
        uint32_t cLines;
    };

    CProfileSpan Span(uint32_t nOffset, size_t cch) const { return CProfileSpan{m_text.get() + nOffset, cch}; }
    const char* Text() const { return m_text.get(); }
    void FindHeaders();
    template <bool fDoubleByte>
    void FindHeadersIn();
    void OpenSection(const char* pName, size_t cchName, uint32_t nRunBegin, Index* pnSection);
    void CloseRun(Index nSection, uint32_t nRunEnd);
    const CSectionLines& IndexedLines(Index nSection) const;
    template <bool fDoubleByte>
    void IndexRun(uint32_t nBegin, uint32_t nEnd) const;
    uint32_t Hash(const char* p, size_t cch) const;
    bool SameName(const char* a, size_t cchA, const char* b, size_t cchB) const;
    // The slot that holds the name, or the free one where it would go.
    size_t SectionSlot(const char* pName, size_t cchName) const;
    void GrowSectionSlots();
    size_t SectionLineBytes() const;

    const CProfileBytes* m_pBytes;
    std::unique_ptr<char[]> m_text;
    size_t m_cchText;
    CBlockArray<CSection> m_sections;
    CBlockArray<CRun> m_runs;
    std::map<Index, CMoreRuns> m_moreRuns;  // by section, for the few that have them
    // Open addressing, a power of two in size: a section's index + 1, or 0 for a free slot.
    std::vector<Index> m_sectionSlots;

    // Built as sections are read.
    mutable CBlockArray<CKeyLine> m_lines;
    // In blocks made as their sections are first read, so that reading one section of a large
    // file costs no table for all of them.
    mutable std::vector<std::unique_ptr<CSectionLines[]>> m_sectionLines;
    // For sections of many lines, each key's last line + 1 by the key's hash (open addressing).
    mutable std::map<Index, std::vector<Index>> m_keySlots;
    mutable std::vector<Index> m_sorted;
};

#endif
