// What the install medium asks for and what the Glue has done before, and the medium's
// operating-system patches.
#ifndef PDI_PDI_MEDIUM_H
#define PDI_PDI_MEDIUM_H

// pszRelativeFolder is where the medium's root lies from the program's folder ("\\..\\..\\").
bool IsSilentInstall(const char* pszRelativeFolder);
bool IsSoftwareInstalled(const char* pszRelativeFolder);
// Has the Glue completed an install of any model of this medium?
bool HasGlueRunBefore();
// Runs the patches the medium lists for this system, one after the other; false only when the
// information file or the program's own folder cannot be found.
bool InstallDriverRelatedPatches();

#endif
