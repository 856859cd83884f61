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

// The qualifiers of the "OSPatches" lists, each with its leading dot.
struct PatchQualifiers
{
    char szSystem[64];        // ".501.2"
    char szLanguage[32];      // "0x409"
    char szWithLanguage[96];  // ".501.2.0x409"
};

#endif
