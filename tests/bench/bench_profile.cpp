// Speed of the cached profile reader against the system's profile function and a bare map,
// on the same files, and the parse throughput. Prints figures; asserts nothing.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "infrastructure/ci_string.h"
#include "infrastructure/profile_reader.h"
#include "support/stopwatch.h"

namespace
{

const int kSections = 100;
const int kKeysPerSection = 20;

bool WriteBytes(const std::string& sPath, const std::string& sBytes)
{
    HANDLE h = CreateFileA(sPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD dwWritten = 0;
    const BOOL fOk = WriteFile(h, sBytes.data(), static_cast<DWORD>(sBytes.size()), &dwWritten, NULL);
    CloseHandle(h);
    return fOk && dwWritten == sBytes.size();
}

std::string SectionName(int n) { return "Model " + std::to_string(n); }
std::string KeyName(int n) { return "Key" + std::to_string(n); }

// A device data file: sections of keys with values of typical length.
std::string DataFile(int cSections, int cKeys)
{
    std::string s = "; generated\n";
    for (int nSection = 0; nSection < cSections; ++nSection)
    {
        s += "[" + SectionName(nSection) + "]\n";
        for (int nKey = 0; nKey < cKeys; ++nKey)
            s += KeyName(nKey) + " = value " + std::to_string(nSection) + "." + std::to_string(nKey) + " of the model\n";
    }
    return s;
}

struct Lookup
{
    std::string sSection;
    std::string sKey;
};

std::vector<Lookup> Lookups()
{
    std::vector<Lookup> lookups;
    for (int i = 0; i < 997; ++i)
        lookups.push_back(Lookup{SectionName((i * 37) % kSections), KeyName((i * 11) % kKeysPerSection)});
    return lookups;
}

typedef std::map<CVxCiString, std::map<CVxCiString, CVxCiString>> BareMap;

// The same data, taken through the reader, in a plain map of maps.
BareMap BuildBareMap(const std::string& sFile)
{
    BareMap map;
    for (int nSection = 0; nSection < kSections; ++nSection)
    {
        for (int nKey = 0; nKey < kKeysPerSection; ++nKey)
        {
            char szValue[256];
            ReadProfileString(SectionName(nSection).c_str(), KeyName(nKey).c_str(), "", szValue, sizeof(szValue),
                              sFile.c_str());
            map[CVxCiString(SectionName(nSection).c_str())][CVxCiString(KeyName(nKey).c_str())] = szValue;
        }
    }
    return map;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename F>
double SecondsPerCall(int cCalls, const std::vector<Lookup>& lookups, F f)
{
    vxtest::Stopwatch watch;
    for (int i = 0; i < cCalls; ++i) f(lookups[static_cast<size_t>(i) % lookups.size()]);
    return watch.Seconds() / cCalls;
}

}  // namespace

int main()
{
    char szTemp[MAX_PATH];
    GetTempPathA(sizeof(szTemp), szTemp);
    const std::string sDir = std::string(szTemp) + "vxbench_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(sDir.c_str(), NULL);
    const std::string sData = DataFile(kSections, kKeysPerSection);
    const std::string sFile = sDir + "\\models.dat";
    char szWindows[MAX_PATH];
    GetWindowsDirectoryA(szWindows, sizeof(szWindows));
    const std::string sWindowsFile = std::string(szWindows) + "\\vxbench" + std::to_string(GetCurrentProcessId()) + ".dat";
    if (!WriteBytes(sFile, sData) || !WriteBytes(sWindowsFile, sData))
    {
        std::printf("cannot write the data files\n");
        return 1;
    }
    const std::vector<Lookup> lookups = Lookups();
    char szValue[256];
    volatile DWORD dwSink = 0;

    // Warm both caches, then time the same keys of the same file.
    ReadProfileString(lookups[0].sSection.c_str(), lookups[0].sKey.c_str(), "", szValue, sizeof(szValue), sFile.c_str());
    ReadProfileString(lookups[0].sSection.c_str(), lookups[0].sKey.c_str(), "", szValue, sizeof(szValue),
                      sWindowsFile.c_str());
    GetPrivateProfileStringA(lookups[0].sSection.c_str(), lookups[0].sKey.c_str(), "", szValue, sizeof(szValue),
                             sFile.c_str());

    const double dCached = SecondsPerCall(200000, lookups, [&](const Lookup& l) {
        dwSink += ReadProfileString(l.sSection.c_str(), l.sKey.c_str(), "", szValue, sizeof(szValue), sFile.c_str());
    });
    const double dCachedWindows = SecondsPerCall(200000, lookups, [&](const Lookup& l) {
        dwSink += ReadProfileString(l.sSection.c_str(), l.sKey.c_str(), "", szValue, sizeof(szValue),
                                    sWindowsFile.c_str());
    });
    const double dSystem = SecondsPerCall(20000, lookups, [&](const Lookup& l) {
        dwSink += GetPrivateProfileStringA(l.sSection.c_str(), l.sKey.c_str(), "", szValue, sizeof(szValue),
                                           sFile.c_str());
    });
    const BareMap bare = BuildBareMap(sFile);
    const double dMap = SecondsPerCall(2000000, lookups, [&](const Lookup& l) {
        BareMap::const_iterator itSection = bare.find(CVxCiString(l.sSection.c_str()));
        if (itSection == bare.end()) return;
        auto itKey = itSection->second.find(CVxCiString(l.sKey.c_str()));
        if (itKey != itSection->second.end()) lstrcpynA(szValue, itKey->second.c_str(), sizeof(szValue));
    });

    // What the freshness check costs: the two queries through the kept handle.
    HANDLE hFile = CreateFileA(sFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               NULL, OPEN_EXISTING, 0, NULL);
    const double dCheck = SecondsPerCall(200000, lookups, [&](const Lookup&) {
        FILETIME ft;
        GetFileTime(hFile, NULL, NULL, &ft);
        dwSink += GetFileSize(hFile, NULL) + ft.dwLowDateTime;
    });
    const double dTime = SecondsPerCall(200000, lookups, [&](const Lookup&) {
        FILETIME ft;
        GetFileTime(hFile, NULL, NULL, &ft);
        dwSink += ft.dwLowDateTime;
    });
    const double dSize = SecondsPerCall(200000, lookups, [&](const Lookup&) { dwSink += GetFileSize(hFile, NULL); });
    // The one call that answers both, for comparison: it also asks the volume for its serial.
    const double dInfo = SecondsPerCall(500, lookups, [&](const Lookup&) {
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileInformationByHandle(hFile, &info)) dwSink += info.nFileSizeLow;
    });
    CloseHandle(hFile);

    // Parse throughput: the first read of each of several 1 MB files, against the C runtime's
    // text-mode reading of other files of the same bytes. Each round writes new files (a parsed
    // file stays cached); the median round is printed, as this machine's speed wanders.
    const int cRounds = 5;
    const int cParseFiles = 16;
    std::string sBig = DataFile(1, 0);
    for (int n = 0; sBig.size() < (1u << 20); ++n)
        sBig += "[Model " + std::to_string(n) + "]\nName=Printer model " + std::to_string(n) +
                "\nDriver = \"vxdrv" + std::to_string(n % 97) + ".dll\"\nPorts=USB,LPT,NET\n; note\nFlags=0x2F\n";
    sBig.resize(1u << 20);
    std::vector<std::string> bigFiles;
    std::vector<double> readRounds, parseRounds;
    std::vector<char> block(64 * 1024);
    for (int nRound = 0; nRound < cRounds; ++nRound)
    {
        std::vector<std::string> readFiles, parseFiles;
        for (int n = 0; n < cParseFiles; ++n)
        {
            const std::string sStem = sDir + "\\big" + std::to_string(nRound) + "_" + std::to_string(n);
            readFiles.push_back(sStem + ".txt");
            parseFiles.push_back(sStem + ".dat");
            WriteBytes(readFiles.back(), sBig);
            WriteBytes(parseFiles.back(), sBig);
        }
        bigFiles.insert(bigFiles.end(), readFiles.begin(), readFiles.end());
        bigFiles.insert(bigFiles.end(), parseFiles.begin(), parseFiles.end());
        vxtest::Stopwatch readWatch;
        for (const std::string& sBigFile : readFiles)
        {
            FILE* pFile = std::fopen(sBigFile.c_str(), "r");
            if (!pFile) continue;
            while (std::fread(block.data(), 1, block.size(), pFile) > 0) ++dwSink;
            std::fclose(pFile);
        }
        readRounds.push_back(readWatch.Seconds());
        vxtest::Stopwatch parseWatch;
        for (const std::string& sBigFile : parseFiles)
            dwSink += ReadProfileString("Model 1", "Name", "", szValue, sizeof(szValue), sBigFile.c_str());
        parseRounds.push_back(parseWatch.Seconds());
    }
    const double dReadSeconds = Median(readRounds);
    const double dParseSeconds = Median(parseRounds);
    const double dMegabytesPerSecond = cParseFiles * (sBig.size() / 1048576.0) / dParseSeconds;

    std::printf("profile reader benchmark (%d sections x %d keys, %u bytes; %u lookups cycled)\n", kSections,
                kKeysPerSection, static_cast<unsigned>(sData.size()), static_cast<unsigned>(lookups.size()));
    std::printf("  cached ReadProfileString            %9.3f us per lookup\n", dCached * 1e6);
    std::printf("  cached, file in Windows directory   %9.3f us per lookup (no freshness check)\n",
                dCachedWindows * 1e6);
    std::printf("  GetPrivateProfileStringA            %9.3f us per lookup\n", dSystem * 1e6);
    std::printf("  bare in-memory map lookup           %9.3f us per lookup\n", dMap * 1e6);
    std::printf("  freshness check alone (time + size) %9.3f us\n", dCheck * 1e6);
    std::printf("    of which GetFileTime %.3f us, GetFileSize %.3f us\n", dTime * 1e6, dSize * 1e6);
    std::printf("  GetFileInformationByHandle          %9.3f us (time and size in one call)\n", dInfo * 1e6);
    std::printf("  parse of a 1 MB file                %9.1f MB/s (%d files, %.3f s; median of %d rounds)\n",
                dMegabytesPerSecond, cParseFiles, dParseSeconds, cRounds);
    std::printf("    of which text-mode reading           %9.1f MB/s\n", cParseFiles * (sBig.size() / 1048576.0) / dReadSeconds);
    std::printf("  ratio GetPrivateProfileStringA / cached  %7.1fx\n", dSystem / dCached);
    std::printf("  ratio cached / bare map                  %7.1fx\n", dCached / dMap);
    std::printf("  ratio cached / cached in Windows dir     %7.1fx\n", dCached / dCachedWindows);

    DeleteFileA(sWindowsFile.c_str());
    DeleteFileA(sFile.c_str());
    for (const std::string& sBigFile : bigFiles) DeleteFileA(sBigFile.c_str());
    RemoveDirectoryA(sDir.c_str());
    (void)dwSink;
    return 0;
}
