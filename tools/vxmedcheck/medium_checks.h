// Checks of the medium as a whole: the product signal, the install flags, the languages, the
// product installer, the PDI's place and the "OSPatches" sections no release would read.
#ifndef VXMEDCHECK_MEDIUM_CHECKS_H
#define VXMEDCHECK_MEDIUM_CHECKS_H

#include "findings.h"
#include "medium.h"

namespace medcheck
{

void CheckProductSignal(const Medium& medium, FindingList& findings);
void CheckInstallFlags(const Medium& medium, FindingList& findings);
void CheckLanguages(const Medium& medium, FindingList& findings);
void CheckInstallerAndPdi(const Medium& medium, FindingList& findings);
// Numbered lists with gaps, and qualified "OSPatches" sections that no release, service pack
// and language of the medium chooses.
void CheckPatchSections(const Medium& medium, FindingList& findings);

}  // namespace medcheck

#endif
