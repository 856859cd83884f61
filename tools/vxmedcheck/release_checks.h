// What the PDI would do on one release in one system language: the "OSPatches" list it runs,
// whether it asks the default-printer question for each model, and the question's text.
#ifndef VXMEDCHECK_RELEASE_CHECKS_H
#define VXMEDCHECK_RELEASE_CHECKS_H

#include <windows.h>

#include "findings.h"
#include "medium.h"
#include "release_table.h"
#include "releases.h"

namespace medcheck
{

// The PDI whose string table gives the question: the medium's own, else one beside the
// checker; NULL when neither is there. Loaded as data, never run.
class PdiStrings
{
public:
    explicit PdiStrings(const Medium& medium);
    ~PdiStrings();
    HMODULE Module() const { return m_hModule; }

private:
    PdiStrings(const PdiStrings&);
    PdiStrings& operator=(const PdiStrings&);
    HMODULE m_hModule;
};

// The notes and findings of one release in one language, and the same in short for the table.
ReleaseOutcome CheckRelease(const Medium& medium, const ReleaseInfo& release, WORD wLanguage, const PdiStrings& strings,
                            FindingList& findings);

}  // namespace medcheck

#endif
