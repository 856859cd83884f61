#include "release_table.h"

#include <algorithm>

#include "findings.h"

namespace medcheck
{

namespace
{

struct Column
{
    std::string sLanguages;         // "0x0409 0x0809"
    std::vector<std::string> cells;  // one per release, in row order
};

std::string Cell(const ReleaseOutcome& outcome)
{
    return Format("[%s] %u, asks %u/%u", outcome.sSection.c_str(), outcome.nPatches, outcome.nAsked, outcome.nModels);
}

std::string Padded(const std::string& s, size_t cch) { return s.size() >= cch ? s : s + std::string(cch - s.size(), ' '); }

}  // namespace

std::string ReleaseTable(const std::vector<ReleaseOutcome>& outcomes)
{
    std::vector<std::string> releases, languages;
    for (const ReleaseOutcome& outcome : outcomes)
    {
        if (std::find(releases.begin(), releases.end(), outcome.sRelease) == releases.end()) releases.push_back(outcome.sRelease);
        if (std::find(languages.begin(), languages.end(), outcome.sLanguage) == languages.end())
            languages.push_back(outcome.sLanguage);
    }
    if (outcomes.empty()) return std::string();
    // Languages whose cells agree on every release share a column.
    std::vector<Column> columns;
    for (const std::string& sLanguage : languages)
    {
        Column column;
        column.sLanguages = sLanguage;
        for (const std::string& sRelease : releases)
        {
            std::string sCell = "-";
            for (const ReleaseOutcome& outcome : outcomes)
            {
                if (outcome.sRelease == sRelease && outcome.sLanguage == sLanguage) sCell = Cell(outcome);
            }
            column.cells.push_back(sCell);
        }
        auto same = std::find_if(columns.begin(), columns.end(), [&](const Column& c) { return c.cells == column.cells; });
        if (same != columns.end()) same->sLanguages += " " + sLanguage;
        else columns.push_back(column);
    }
    size_t cchRelease = 0;
    for (const std::string& sRelease : releases) cchRelease = std::max(cchRelease, sRelease.size());
    std::vector<size_t> widths;
    for (const Column& column : columns)
    {
        size_t cch = column.sLanguages.size();
        for (const std::string& sCell : column.cells) cch = std::max(cch, sCell.size());
        widths.push_back(cch);
    }
    std::string sTable = "Patches and the default-printer question per release and language:\n";
    std::string sHeader = "  " + std::string(cchRelease, ' ');
    for (size_t c = 0; c < columns.size(); ++c) sHeader += "  " + Padded(columns[c].sLanguages, widths[c]);
    sTable += sHeader.substr(0, sHeader.find_last_not_of(' ') + 1) + "\n";
    for (size_t r = 0; r < releases.size(); ++r)
    {
        std::string sRow = "  " + Padded(releases[r], cchRelease);
        for (size_t c = 0; c < columns.size(); ++c) sRow += "  " + Padded(columns[c].cells[r], widths[c]);
        sTable += sRow.substr(0, sRow.find_last_not_of(' ') + 1) + "\n";
    }
    return sTable + "  [patch section] patches, asks n/m: the question is asked for n of m models\n";
}

}  // namespace medcheck
