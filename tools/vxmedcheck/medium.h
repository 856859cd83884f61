// One install medium as the checker holds it: where it lies, its information file, its model
// files (scanned), and the factory the PDI would build on it (models and language map).
#ifndef VXMEDCHECK_MEDIUM_H
#define VXMEDCHECK_MEDIUM_H

#include <memory>
#include <string>
#include <vector>

#include "file_scan.h"
#include "findings.h"
#include "infrastructure/factory.h"

namespace medcheck
{

struct ModelFile
{
    std::string sPath;  // full path, as the factory names it
    ScannedFile scan;
};

class Medium
{
public:
    // Reads the information file and the model files it names, reporting what the files look
    // like to the reader. False when the folder itself is missing (then nothing else is read).
    bool Open(const std::string& sFolder, FindingList& findings);

    const std::string& Root() const { return m_sRoot; }  // full path, no trailing backslash
    const std::string& InfPath() const { return m_sInfPath; }
    const ScannedFile& Inf() const { return m_inf; }
    // The model files in the factory's order (sorted, repeats kept); each scanned once.
    const std::vector<ModelFile>& ModelFiles() const { return m_modelFiles; }
    const CFactory& Factory() const { return *m_pFactory; }

    // The path relative to the root, as findings name files.
    std::string NameOf(const std::string& sPath) const;
    bool Exists(const std::string& sRelativePath) const;
    // Every "vxfpdi14.exe" two folders below the root, relative to it: where the PDI finds
    // this medium's information file.
    std::vector<std::string> PdiPlaces() const;
    // A "Version" value of the information file as the PDI reads it (language 0x800).
    bool VersionValue(const char* pszKey, std::string* psValue, unsigned cbBuffer = 1024) const;

private:
    void ReadModelFileList(FindingList& findings);

    std::string m_sRoot;
    std::string m_sInfPath;
    ScannedFile m_inf;
    std::vector<ModelFile> m_modelFiles;
    std::unique_ptr<CFactory> m_pFactory;
};

}  // namespace medcheck

#endif
