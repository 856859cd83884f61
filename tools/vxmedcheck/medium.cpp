#include "medium.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "diag/trace_log.h"
#include "infrastructure/qualified_values.h"

namespace medcheck
{

namespace
{

const WORD kSystemDefaultLanguage = 0x800;
const char kSeparators[] = " ,\t\n";  // the factory's separators of "InfrastructureDatabaseList"

std::string FullPath(const std::string& sPath)
{
    std::vector<char> buffer(MAX_PATH);
    DWORD cch = GetFullPathNameA(sPath.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), NULL);
    if (cch >= buffer.size())
    {
        buffer.resize(cch + 1);
        cch = GetFullPathNameA(sPath.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), NULL);
    }
    if (cch == 0 || cch >= buffer.size()) return sPath;
    return std::string(buffer.data(), cch);
}

std::vector<std::string> SplitList(const std::string& sList)
{
    std::vector<std::string> pieces;
    size_t i = 0;
    while (i < sList.size())
    {
        const size_t iStart = sList.find_first_not_of(kSeparators, i);
        if (iStart == std::string::npos) break;
        const size_t iEnd = sList.find_first_of(kSeparators, iStart);
        pieces.push_back(sList.substr(iStart, iEnd == std::string::npos ? std::string::npos : iEnd - iStart));
        i = iEnd == std::string::npos ? sList.size() : iEnd;
    }
    return pieces;
}

std::vector<std::string> SubFolders(const std::string& sFolder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA tFind;
    HANDLE hFind = FindFirstFileA((sFolder + "\\*").c_str(), &tFind);
    if (hFind == INVALID_HANDLE_VALUE) return names;
    do
    {
        if ((tFind.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && std::strcmp(tFind.cFileName, ".") != 0 &&
            std::strcmp(tFind.cFileName, "..") != 0)
            names.push_back(tFind.cFileName);
    } while (FindNextFileA(hFind, &tFind));
    FindClose(hFind);
    return names;
}

bool CiLess(const ModelFile& a, const ModelFile& b) { return CVxCiString(a.sPath.c_str()) < CVxCiString(b.sPath.c_str()); }

}  // namespace

bool Medium::Open(const std::string& sFolder, FindingList& findings)
{
    m_sRoot = FullPath(sFolder);
    while (m_sRoot.size() > 3 && (m_sRoot[m_sRoot.size() - 1] == '\\' || m_sRoot[m_sRoot.size() - 1] == '/'))
        m_sRoot.erase(m_sRoot.size() - 1);
    const DWORD dwAttributes = GetFileAttributesA(m_sRoot.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES || !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        findings.Add(eError, "", 0, "medium-missing", Format("\"%s\" is no folder", m_sRoot.c_str()));
        return false;
    }
    m_sInfPath = m_sRoot + "\\autorun.inf";
    m_inf = ScanProfileFile(m_sInfPath, "autorun.inf", findings);
    // A factory sets the trace mask from the debug settings it finds (the medium's "Log" key
    // among them); the checker traces as its own command line says.
    const DWORD dwTraceMask = g_TraceLog.GetMask();
    m_pFactory.reset(new CFactory(m_sInfPath.c_str(), FACTORY_LOAD_MODELS));
    g_TraceLog.SetMask(dwTraceMask);
    if (m_inf.fRead) ReadModelFileList(findings);
    return true;
}

void Medium::ReadModelFileList(FindingList& findings)
{
    std::string sList;
    if (!VersionValue("InfrastructureDatabaseList", &sList))
    {
        findings.Add(eError, m_inf.sName, m_inf.SectionLine("Version"), "model-list-missing",
                     "\"Version\" has no \"InfrastructureDatabaseList\": the PDI finds no models");
        return;
    }
    const std::string sDirectory = m_sInfPath.substr(0, m_sInfPath.rfind('\\'));
    for (const std::string& sPiece : SplitList(sList))
    {
        ModelFile file;
        file.sPath = sDirectory + "\\" + sPiece;
        m_modelFiles.push_back(file);
    }
    std::stable_sort(m_modelFiles.begin(), m_modelFiles.end(), CiLess);
    const unsigned nListLine = m_inf.KeyLine("Version", "InfrastructureDatabaseList");
    for (size_t i = 0; i < m_modelFiles.size(); ++i)
    {
        ModelFile& file = m_modelFiles[i];
        const bool fRepeat = i > 0 && CVxCiString(m_modelFiles[i - 1].sPath.c_str()) == file.sPath.c_str();
        if (fRepeat)
        {
            findings.Add(eWarning, m_inf.sName, nListLine, "model-file-repeated",
                         Format("\"%s\" is named twice: its models are loaded twice, the second load replacing "
                                "the first",
                                NameOf(file.sPath).c_str()));
            file.scan = m_modelFiles[i - 1].scan;
            continue;
        }
        if (GetFileAttributesA(file.sPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        {
            findings.Add(eError, m_inf.sName, nListLine, "model-file-missing",
                         Format("the model file \"%s\" is missing: its models are unknown to the PDI",
                                NameOf(file.sPath).c_str()));
            file.scan.sName = NameOf(file.sPath);
            continue;
        }
        file.scan = ScanProfileFile(file.sPath, NameOf(file.sPath), findings);
    }
}

std::string Medium::NameOf(const std::string& sPath) const
{
    const std::string sPrefix = m_sRoot + "\\";
    if (sPath.size() > sPrefix.size() && CVxCiString(sPath.substr(0, sPrefix.size()).c_str()) == sPrefix.c_str())
        return sPath.substr(sPrefix.size());
    return sPath;
}

bool Medium::Exists(const std::string& sRelativePath) const
{
    return GetFileAttributesA((m_sRoot + "\\" + sRelativePath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Medium::PdiPlaces() const
{
    std::vector<std::string> places;
    for (const std::string& sFolder : SubFolders(m_sRoot))
    {
        for (const std::string& sSub : SubFolders(m_sRoot + "\\" + sFolder))
        {
            const std::string sPlace = sFolder + "\\" + sSub + "\\vxfpdi14.exe";
            if (Exists(sPlace)) places.push_back(sPlace);
        }
    }
    return places;
}

bool Medium::VersionValue(const char* pszKey, std::string* psValue, unsigned cbBuffer) const
{
    std::vector<char> buffer(cbBuffer);
    if (!GetValueByLang(m_sInfPath.c_str(), "Version", pszKey, buffer.data(), cbBuffer, kSystemDefaultLanguage))
        return false;
    *psValue = buffer.data();
    return true;
}

}  // namespace medcheck
