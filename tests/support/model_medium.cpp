#include "support/model_medium.h"

#include <cstdio>

#include "support/test_support.h"

namespace vxtest
{

namespace
{

std::string Format(const char* pszFormat, int a, int b)
{
    char sz[128];
    std::snprintf(sz, sizeof(sz), pszFormat, a, b);
    return sz;
}

std::string ModelFileName(int iFile) { return Format("models%02d.dat", iFile, 0); }

std::string ModelSection(int iFile, int iModel) { return Format("Gen%02d_%04d", iFile, iModel); }

std::string ModelFileText(int iFile, int cModels)
{
    std::string sText = "; generated model file\r\n[Models]\r\n";
    for (int i = 0; i < cModels; ++i)
    {
        sText += Format("M%d_%d=", iFile, i) + ModelSection(iFile, i) + "\r\n";
    }
    for (int i = 0; i < cModels; ++i)
    {
        char szNumbers[256];
        std::snprintf(szNumbers, sizeof(szNumbers),
                      "Type=%s\r\nUSB=1\r\nLPT=%d\r\nCapabilities=%X\r\nFirstIORevision=%d\r\nLastIORevision=%d\r\n"
                      "NumDevNodes=%d\r\n",
                      i % 2 ? "printer" : "aio", i % 3, GeneratedCapabilities(iFile, i), i % 5, i % 5 + 2, i % 4);
        sText += "\r\n[" + ModelSection(iFile, i) + "]\r\n";
        sText += "DriverName=" + GeneratedDriverName(iFile, i) + "\r\n";
        sText += "DeviceModel=" + GeneratedModelName(iFile, i) + "\r\n";
        sText += "UsbID=" + GeneratedUsbId(iFile, i) + "\r\n";
        sText += "HelpFile=vxgen.hlp\r\n";
        sText += szNumbers;
    }
    for (int iPlatform = 1; iPlatform <= 2; ++iPlatform)
    {
        sText += Format("\r\n[INFList.%d]\r\n", iPlatform, 0);
        for (const std::string& sInf : GeneratedInfNames(iFile, iPlatform)) sText += sInf + "=\r\n";
    }
    return sText;
}

}  // namespace

std::string GeneratedModelName(int iFile, int iModel) { return Format("Quorvane Gen %02d-%04d Series", iFile, iModel); }

std::string GeneratedDriverName(int iFile, int iModel) { return Format("Quorvane Gen %02d-%04d", iFile, iModel); }

std::string GeneratedUsbId(int iFile, int iModel) { return Format("usb\\vid_2f1c&pid_%02x%02x", iFile, iModel % 256); }

unsigned GeneratedCapabilities(int iFile, int iModel) { return static_cast<unsigned>(iFile * 0x1000 + iModel); }

std::vector<std::string> GeneratedInfNames(int iFile, int iPlatform)
{
    const char* pszSuffix = iPlatform == 1 ? "w9" : "nt";
    return {Format("vxg%02da", iFile, 0) + pszSuffix + ".inf", Format("vxg%02db", iFile, 0) + pszSuffix + ".inf"};
}

bool WriteGeneratedMedium(const std::string& sDirectory, int cFiles, int cModelsPerFile, GeneratedMedium* pMedium)
{
    pMedium->sDataFile = sDirectory + "\\vxgins01.dat";
    pMedium->modelFiles.clear();
    pMedium->cFiles = cFiles;
    pMedium->cModelsPerFile = cModelsPerFile;
    std::string sList;
    for (int iFile = cFiles - 1; iFile >= 0; --iFile)
    {
        const std::string sName = ModelFileName(iFile);
        sList += (sList.empty() ? "" : ", ") + sName;
        pMedium->modelFiles.push_back(sDirectory + "\\" + sName);
        if (!WriteFileBytes(pMedium->modelFiles.back(), ModelFileText(iFile, cModelsPerFile))) return false;
    }
    return WriteFileBytes(pMedium->sDataFile, DataFileText(sList));
}

std::string DataFileText(const std::string& sList, const std::string& sMore)
{
    return "[Version]\r\nInfrastructureDatabaseList=" + sList + "\r\n" + sMore;
}

}  // namespace vxtest
