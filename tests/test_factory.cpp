// The device model factory: data files, sorted model files, lookups by name, duplicates, INF
// lists, the same-source shortcut, copies, bad model files, the trace mask and the start-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/factory.h"
#include "infrastructure/os_version.h"
#include "support/allocation_failure.h"
#include "support/medium.h"
#include "support/model_medium.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

namespace
{

// A folder of device data for one test: a data file and the model files it names.
class DataDir
{
public:
    DataDir() : m_dir("fac") {}
    std::string Write(const std::string& sName, const std::string& sText) const
    {
        const std::string sPath = m_dir.File(sName);
        EXPECT_TRUE(vxtest::WriteFileBytes(sPath, sText)) << sPath;
        return sPath;
    }
    // A data file "vxtins01.dat" whose database list is sList.
    std::string WriteDataFile(const std::string& sList, const std::string& sMore = "") const
    {
        return Write("vxtins01.dat", vxtest::DataFileText(sList, sMore));
    }
    const std::string& Path() const { return m_dir.Path(); }

private:
    vxtest::ScratchDir m_dir;
};

// A model file with one model per (name, driver) pair, in that order, and an INF list each.
std::string ModelFileText(const std::vector<std::pair<std::string, std::string> >& models, const std::string& sTag)
{
    std::string sModels = "[Models]\r\n";
    std::string sSections;
    for (size_t i = 0; i < models.size(); ++i)
    {
        const std::string sSection = sTag + "_" + std::to_string(i);
        sModels += "k" + std::to_string(i) + "=" + sSection + "\r\n";
        sSections += "[" + sSection + "]\r\nmodelname=" + models[i].first + "\r\ndrivername=" + models[i].second +
                     "\r\nhelpfile=" + sTag + ".hlp\r\n";
    }
    return sModels + sSections + "[INFList.1]\r\n" + sTag + "w9.inf=\r\n[INFList.2]\r\n" + sTag + "nt.inf=\r\n";
}

std::vector<std::string> Strings(const CVxCiStringList& list)
{
    std::vector<std::string> strings;
    for (const CVxCiString& s : list) strings.push_back(s.c_str());
    return strings;
}

// The INF section this system reads.
bool Is9xRun() { return GetOSVersionRecord().dwPlatformId == VER_PLATFORM_WIN32_WINDOWS; }

}  // namespace

TEST(Factory, DefaultConstructionLoadsNothing)
{
    const CFactory factory;
    EXPECT_TRUE(factory.GetModelList().empty());
    EXPECT_TRUE(factory.GetInstallerFileList().empty());
    EXPECT_TRUE(factory.GetInfFileList().empty());
    EXPECT_EQ(0u, factory.FactorADeviceModel("Anything").IsSupported());
}

TEST(Factory, ModelFilesAreSortedAndEveryModelIsLoaded)
{
    DataDir data;
    data.Write("b.dat", ModelFileText({{"Model B1", "Drv B1"}, {"Model B2", "Drv B2"}}, "b"));
    data.Write("a.dat", ModelFileText({{"Model A1", "Drv A1"}}, "a"));
    data.Write("C.dat", ModelFileText({{"Model C1", "Drv C1"}}, "c"));
    // Every separator style between the names; the list is sorted before loading.
    const std::string sDataFile = data.WriteDataFile("C.dat,b.dat\ta.dat");
    const CFactory factory(sDataFile.c_str(), 1);

    EXPECT_EQ(std::vector<std::string>({sDataFile}), Strings(factory.GetInstallerFileList()));
    const std::vector<std::string> expected = {"Model A1", "Model B1", "Model B2", "Model C1"};
    EXPECT_EQ(expected, Strings(factory.GetModelList()));
    for (const std::string& sName : expected)
    {
        const CDeviceModel& model = factory.FactorADeviceModel(sName.c_str());
        EXPECT_EQ(1u, model.IsSupported()) << sName;
        EXPECT_EQ(sName, model.GetModelName());
    }
    const CDeviceModel& b2 = factory.FactorADeviceModel("Model B2");
    EXPECT_STREQ("Drv B2", b2.GetDriverName());
    EXPECT_EQ(data.Path() + "\\b.dat", b2.GetDatFileName());
    EXPECT_STREQ("b_1", b2.GetSectionName());

    const std::vector<std::string> inf =
        Is9xRun() ? std::vector<std::string>{"aw9.inf", "bw9.inf", "cw9.inf"}
                  : std::vector<std::string>{"ant.inf", "bnt.inf", "cnt.inf"};
    EXPECT_EQ(inf, Strings(factory.GetInfFileList()));
}

TEST(Factory, LookupByNameThenByDriverNameInside)
{
    DataDir data;
    data.Write("m.dat", ModelFileText({{"Zeta", "Alpha 9"}, {"Beta", "Alpha 90"}, {"Gamma", "Quorvane 1234"}}, "m"));
    const CFactory factory(data.WriteDataFile("m.dat").c_str());
    vxtest::TraceCapture trace;

    EXPECT_STREQ("Gamma", factory.FactorADeviceModel("GAMMA").GetModelName());
    EXPECT_STREQ("Gamma", factory.FactorADeviceModel("Quorvane 1234 (Copy 2)").GetModelName());
    EXPECT_STREQ("Gamma", factory.FactorADeviceModel("my quorvane 1234").GetModelName());
    // Both driver names occur in the name: the model whose name sorts first wins.
    EXPECT_STREQ("Beta", factory.FactorADeviceModel("Office Alpha 90X").GetModelName());
    EXPECT_STREQ("Zeta", factory.FactorADeviceModel("Office Alpha 9").GetModelName());
    EXPECT_EQ(0u, trace.Count("Failed to find"));

    const CDeviceModel& unknown = factory.FactorADeviceModel("Other Printer");
    EXPECT_EQ(0u, unknown.IsSupported());
    EXPECT_STREQ("", unknown.GetModelName());
    EXPECT_EQ(1u, unknown.GetType());
    const CDeviceModel& none = factory.FactorADeviceModel(NULL);
    EXPECT_EQ(&unknown, &none);
    EXPECT_EQ(std::vector<std::string>({"Failed to find Other Printer", "Failed to find (null)"}),
              trace.Texts(TRACE_GENERAL));
}

TEST(Factory, EmptyDriverNameMatchesEveryOtherName)
{
    DataDir data;
    data.Write("m.dat", ModelFileText({{"Named", "Drv"}, {"Blank", ""}}, "m"));
    const CFactory factory(data.WriteDataFile("m.dat").c_str());
    EXPECT_STREQ("Blank", factory.FactorADeviceModel("Anything at all").GetModelName());
    EXPECT_STREQ("Named", factory.FactorADeviceModel("named").GetModelName());
    // "Blank" sorts before "Named": a name holding "Drv" still finds the empty driver name first.
    EXPECT_STREQ("Blank", factory.FactorADeviceModel("Drv X").GetModelName());
}

TEST(Factory, LaterModelFileWinsForADuplicateName)
{
    DataDir data;
    data.Write("zeta.dat", ModelFileText({{"Shared", "From Zeta"}, {"Only Zeta", "Z"}}, "z"));
    data.Write("alpha.dat", ModelFileText({{"Only Alpha", "A"}, {"shared", "From Alpha"}}, "a"));
    vxtest::TraceCapture trace;
    const CFactory factory(data.WriteDataFile("zeta.dat alpha.dat").c_str());
    EXPECT_STREQ("From Zeta", factory.FactorADeviceModel("Shared").GetDriverName());
    EXPECT_EQ(std::vector<std::string>({"Only Alpha", "shared", "Only Zeta"}), Strings(factory.GetModelList()));
    EXPECT_EQ(std::vector<std::string>({"WARNING: Found multiple instances of device model \"Shared\""}),
              trace.Texts(TRACE_FAILURE));
}

TEST(Factory, ModelFileListedTwiceReportsEachModelOnce)
{
    DataDir data;
    data.Write("m.dat", ModelFileText({{"One", "D1"}, {"Two", "D2"}}, "m"));
    vxtest::TraceCapture trace;
    const CFactory factory(data.WriteDataFile("m.dat,m.dat").c_str());
    EXPECT_EQ(std::vector<std::string>({"One", "Two"}), Strings(factory.GetModelList()));
    EXPECT_EQ(1u, trace.Count("WARNING: Found multiple instances of device model \"One\""));
    EXPECT_EQ(1u, trace.Count("WARNING: Found multiple instances of device model \"Two\""));
    // The INF names of both loads are kept, repeats included.
    EXPECT_EQ(2u, factory.GetInfFileList().size());
}

TEST(Factory, InfListOfThisPlatformOnly)
{
    DataDir data;
    data.Write("m.dat", "[Models]\r\nk=S\r\n[S]\r\ndrivername=D\r\n"
                        "[INFList.1]\r\nw9a.inf=ignored value\r\nw9b.inf=\r\n"
                        "[INFList.2]\r\nnta.inf=\r\nntb.inf=x\r\nnta.inf=\r\n");
    const CFactory factory(data.WriteDataFile("m.dat").c_str());
    const std::vector<std::string> expected = Is9xRun() ? std::vector<std::string>{"w9a.inf", "w9b.inf"}
                                                        : std::vector<std::string>{"nta.inf", "ntb.inf", "nta.inf"};
    EXPECT_EQ(expected, Strings(factory.GetInfFileList()));
}

TEST(Factory, SameFullPathAndFlagsReloadNothing)
{
    DataDir data;
    data.Write("m.dat", ModelFileText({{"One", "D1"}}, "m"));
    const std::string sDataFile = data.WriteDataFile("m.dat");
    const CFactory factory(sDataFile.c_str());
    const CDeviceModel* pFirst = &factory.FactorADeviceModel("One");

    vxtest::TraceCapture trace;
    EXPECT_EQ(1u, factory.Init(sDataFile.c_str(), 1));
    EXPECT_EQ(pFirst, &factory.FactorADeviceModel("One"));
    EXPECT_EQ(0u, trace.Count("New CDeviceModel"));
    EXPECT_EQ(0u, trace.Count("Deleting"));

    // Other flags, or another language override, are another source.
    EXPECT_EQ(1u, factory.Init(sDataFile.c_str(), 1, "ENU"));
    EXPECT_EQ(1u, trace.Count("Deleting D1 for key One"));
    EXPECT_EQ(1u, trace.Count("New CDeviceModel"));
    EXPECT_EQ(1u, factory.Init(sDataFile.c_str(), 0));
    EXPECT_TRUE(factory.GetModelList().empty());
    EXPECT_EQ(std::vector<std::string>({sDataFile}), Strings(factory.GetInstallerFileList()));
    EXPECT_EQ(0u, factory.FactorADeviceModel("One").IsSupported());
}

// A bare name is looked for in the module, current and Windows directories, and is never
// taken for the same source.
TEST(Factory, BareNameIsFoundAndReloadedEveryTime)
{
    DataDir data;
    data.Write("m.dat", ModelFileText({{"One", "D1"}}, "m"));
    const std::string sBare = "vxbare" + std::to_string(GetCurrentProcessId()) + ".dat";
    data.Write(sBare, vxtest::DataFileText("m.dat"));
    char szOld[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(szOld), szOld);
    ASSERT_TRUE(SetCurrentDirectoryA(data.Path().c_str()));
    {
        const CFactory factory(sBare.c_str());
        EXPECT_EQ(std::vector<std::string>({data.Path() + "\\" + sBare}), Strings(factory.GetInstallerFileList()));
        EXPECT_EQ(std::vector<std::string>({"One"}), Strings(factory.GetModelList()));
        vxtest::TraceCapture trace;
        factory.Init(sBare.c_str(), 1);
        EXPECT_EQ(1u, trace.Count("New CDeviceModel"));

        factory.Init("vxnosuchfile.dat", 1);
        EXPECT_TRUE(factory.GetInstallerFileList().empty());
        EXPECT_TRUE(factory.GetModelList().empty());
    }
    SetCurrentDirectoryA(szOld);
}

TEST(Factory, MissingFilesGiveNoModels)
{
    DataDir data;
    const std::string sMissingData = data.Path() + "\\absent.dat";
    const CFactory noData(sMissingData.c_str());
    EXPECT_EQ(std::vector<std::string>({sMissingData}), Strings(noData.GetInstallerFileList()));
    EXPECT_TRUE(noData.GetModelList().empty());

    // Constructed first: a construction sets the trace mask the capture needs.
    const CFactory noModelFile;
    vxtest::TraceCapture trace;
    EXPECT_EQ(1u, noModelFile.Init(data.WriteDataFile("absent-models.dat").c_str(), 1));
    EXPECT_TRUE(noModelFile.GetModelList().empty());
    EXPECT_TRUE(noModelFile.GetInfFileList().empty());
    EXPECT_EQ(1u, trace.Count("FillFileList failed!"));
}

// Bad model files end in documented results: what can be read is read, nothing crashes.
TEST(Factory, BadModelFiles)
{
    // On Windows 9x the system's own profile function reads these small files: it takes only
    // the first block of a section name written twice.
    struct Case
    {
        const char* pszText;
        std::vector<std::string> models;  // expected model list
        std::vector<std::string> models9x = {};
    };
    const Case cases[] = {
        {"", {}},                                                         // empty file
        {"[Models]\r\n[INFList.2]\r\nx.inf=\r\n", {}},                    // empty Models section
        {"[Other]\r\nk=S\r\n[S]\r\ndrivername=D\r\n", {}},                // no Models section
        {"[Models]\r\nk=S1\r\n[S1]\r\ndrivername=D1\r\n[models]\r\nk2=S2\r\n[S2]\r\ndrivername=D2\r\n",
         {"D1", "D2"}, {"D1"}},                                           // two blocks make one section
        {"[Models]\r\nk=Absent\r\n", {""}},                               // section missing: empty names
        {"[Models]\r\nk=\r\n", {""}},                                     // no section named
        {"[Models]\r\na=S\r\nb=S\r\n[S]\r\ndrivername=D\r\n", {"D"}},     // one section twice
        {"[Models]\r\n;k=S\r\nk2=  S\r\n[S]\r\ndrivername=D\r\n", {"D"}}, // comment; blanks before name
        {"[Models]\r\nk=S\r\n[S]\r\n[S]\r\ndrivername=D\r\n", {"D"}, {""}},  // duplicate model section
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        DataDir data;
        data.Write("m.dat", cases[i].pszText);
        const CFactory factory(data.WriteDataFile("m.dat").c_str());
        const std::vector<std::string>& models =
            Is9xRun() && !cases[i].models9x.empty() ? cases[i].models9x : cases[i].models;
        EXPECT_EQ(models, Strings(factory.GetModelList())) << i;
        for (const std::string& sName : models)
        {
            EXPECT_EQ(1u, factory.FactorADeviceModel(sName.c_str()).IsSupported()) << i << ": " << sName;
        }
    }
}

// Sections beyond the first 1022 bytes are read whole; only one beyond 1 MiB is refused, and
// then its file gives no models and no INF names while the other files still load.
TEST(Factory, LargeModelsSections)
{
    DataDir data;
    std::string sMedium = "[Models]\r\n";
    std::string sSections;
    for (int i = 0; i < 200; ++i)
    {
        sMedium += "model_line_" + std::to_string(i) + "=Section" + std::to_string(i) + "\r\n";
        sSections += "[Section" + std::to_string(i) + "]\r\ndrivername=Drv " + std::to_string(i) + "\r\n";
    }
    data.Write("medium.dat", sMedium + sSections + "[INFList.1]\r\nmed.inf=\r\n[INFList.2]\r\nmed.inf=\r\n");

    std::string sHuge = "[Models]\r\n";
    const std::string sPad(90, 'p');
    for (int i = 0; i < 11000; ++i) sHuge += "k" + std::to_string(i) + "=" + sPad + std::to_string(i) + "\r\n";
    data.Write("huge.dat", sHuge + "[INFList.1]\r\nhuge.inf=\r\n[INFList.2]\r\nhuge.inf=\r\n");

    vxtest::TraceCapture trace(TRACE_FAILURE);
    const CFactory factory(data.WriteDataFile("medium.dat,huge.dat").c_str());
    EXPECT_EQ(200u, factory.GetModelList().size());
    EXPECT_STREQ("Drv 199", factory.FactorADeviceModel("Drv 199").GetModelName());
    EXPECT_EQ(std::vector<std::string>({"med.inf"}), Strings(factory.GetInfFileList()));
    EXPECT_EQ(std::vector<std::string>({"Insufficient buffer to retrieve section names failed"}),
              trace.Texts(TRACE_FAILURE));
}

TEST(Factory, GeneratedMediumOf2000ModelsIn20Files)
{
    DataDir data;
    vxtest::GeneratedMedium medium;
    ASSERT_TRUE(vxtest::WriteGeneratedMedium(data.Path(), 20, 100, &medium));
    const CFactory factory(medium.sDataFile.c_str());
    const CVxCiStringList& models = factory.GetModelList();
    ASSERT_EQ(2000u, models.size());
    std::vector<std::string> inf;
    for (int iFile = 0; iFile < 20; ++iFile)
    {
        for (const std::string& sInf : vxtest::GeneratedInfNames(iFile, Is9xRun() ? 1 : 2)) inf.push_back(sInf);
        for (int iModel = 0; iModel < 100; ++iModel)
        {
            const std::string sName = vxtest::GeneratedModelName(iFile, iModel);
            ASSERT_EQ(sName, models[static_cast<size_t>(iFile * 100 + iModel)].c_str());
            const CDeviceModel& model = factory.FactorADeviceModel(sName.c_str());
            ASSERT_EQ(1u, model.IsSupported()) << sName;
            EXPECT_EQ(vxtest::GeneratedDriverName(iFile, iModel), model.GetDriverName());
            EXPECT_EQ(vxtest::GeneratedCapabilities(iFile, iModel), model.GetCapabilities()) << sName;
            std::string sUsb = vxtest::GeneratedUsbId(iFile, iModel);
            std::transform(sUsb.begin(), sUsb.end(), sUsb.begin(), ::toupper);
            EXPECT_EQ(sUsb, model.GetUsbID());
            EXPECT_EQ(iModel % 2 ? 4u : 1u, model.GetType()) << sName;
            EXPECT_EQ(static_cast<LONG>(iModel % 5 + 2), model.GetLastIoRevision()) << sName;
        }
    }
    EXPECT_EQ(inf, Strings(factory.GetInfFileList()));
}

TEST(Factory, CopyOwnsItsOwnRecords)
{
    DataDir data;
    data.Write("m.dat", ModelFileText({{"One", "D1"}, {"Two", "D2"}}, "m"));
    CFactory* pSource = new CFactory(data.WriteDataFile("m.dat").c_str());
    vxtest::TraceCapture trace;
    const CDeviceModel* pSourceOne = &pSource->FactorADeviceModel("One");
    {
        const CFactory copy(*pSource);
        EXPECT_EQ(Strings(pSource->GetModelList()), Strings(copy.GetModelList()));
        EXPECT_EQ(Strings(pSource->GetInstallerFileList()), Strings(copy.GetInstallerFileList()));
        EXPECT_EQ(Strings(pSource->GetInfFileList()), Strings(copy.GetInfFileList()));
        const CDeviceModel& copyOne = copy.FactorADeviceModel("One");
        EXPECT_NE(pSourceOne, &copyOne);
        EXPECT_STREQ("D1", copyOne.GetDriverName());

        delete pSource;  // the copy's records outlive the source
        EXPECT_EQ(2u, trace.Count("Deleting"));
        EXPECT_STREQ("D2", copy.FactorADeviceModel("Two").GetDriverName());
        EXPECT_EQ(1u, copy.FactorADeviceModel("One").IsSupported());
    }
    // Each record once by the source and once by the copy, each deleting its own.
    EXPECT_EQ(2u, trace.Count("Deleting D1 for key One"));
    EXPECT_EQ(2u, trace.Count("Deleting D2 for key Two"));
    EXPECT_EQ(4u, trace.Count("Deleting"));
}

// An allocation that fails anywhere in a load or a copy leaves only complete records: every
// lookup and the destructor walk all of them.
TEST(Factory, OutOfMemoryLeavesOnlyCompleteRecords)
{
    DataDir data;
    data.Write("m.dat", ModelFileText({{"One", "D1"}, {"Two", "D2"}, {"Three", "D3"}}, "m"));
    const std::string sDataFile = data.WriteDataFile("m.dat");
    const CFactory whole(sDataFile.c_str(), 1);
    ASSERT_EQ(3u, whole.GetModelList().size());
    bool fLoadFired = true;
    bool fCopyFired = true;
    LONG n = 1;
    for (; (fLoadFired || fCopyFired) && n < 100000; ++n)
    {
        {
            CFactory factory;
            vxtest::ArmAllocationFailure(n);
            factory.Init(sDataFile.c_str(), 1, NULL);
            fLoadFired = vxtest::DisarmAllocationFailure();
            for (const CVxCiString& sName : factory.GetModelList())
                EXPECT_EQ(sName, factory.FactorADeviceModel(sName.c_str()).GetModelName()) << n;
            factory.FactorADeviceModel("Nobody");  // walks every record
        }
        {
            vxtest::ArmAllocationFailure(n);
            const CFactory copy(whole);
            fCopyFired = vxtest::DisarmAllocationFailure();
            for (const CVxCiString& sName : copy.GetModelList())
                EXPECT_EQ(sName, copy.FactorADeviceModel(sName.c_str()).GetModelName()) << n;
            copy.FactorADeviceModel("Nobody");  // walks every record
        }
    }
    EXPECT_FALSE(fLoadFired || fCopyFired) << "still failing after " << n << " allocations";
    EXPECT_GT(n, 10);
}

TEST(Factory, SampleMediumLoads)
{
    const std::string sAutorun = vxtest::SourceDir() + "\\sample\\medium\\autorun.inf";
    const CFactory factory(sAutorun.c_str(), 1);
    EXPECT_EQ(std::vector<std::string>({"Quorvane Model 1234 Series", "Quorvane Scan 56"}),
              Strings(factory.GetModelList()));
    const CDeviceModel& model = factory.FactorADeviceModel("Quorvane Model 1234 Series");
    ASSERT_EQ(1u, model.IsSupported());
    CVxCiString sAsk;
    EXPECT_EQ(3u, model.GetValue("asktomakedefaultprinter", sAsk));
    EXPECT_EQ("Yes", sAsk);
    EXPECT_STREQ("QV1234FW", model.GetFirmwareName());
    EXPECT_STREQ("USB\\VID_2F1C&PID_1234", model.GetUsbID());
    EXPECT_STREQ("LPTENUM\\QUORVANEMODEL_1234B7C1", model.GetParallelID());
    EXPECT_EQ(1u, model.GetType());
    EXPECT_EQ(0x1Fu, model.GetCapabilities());
    EXPECT_EQ(5, model.GetFirstIoRevision());
    EXPECT_EQ(7, model.GetLastIoRevision());
    const bool fNoUsb = GetOSVersion() == "400";  // the model's 4.0 section
    EXPECT_EQ(fNoUsb ? 0u : 1u, model.HasUSB());
    EXPECT_EQ(fNoUsb ? 1u : 3u, model.GetNumDevNodes());
    EXPECT_STREQ("Quorvane Model 1234 Series", factory.FactorADeviceModel("Quorvane Model 1234 Series (Copy 1)").GetModelName());
    EXPECT_EQ(2u, factory.FactorADeviceModel("Quorvane Scan 56").GetType());

    EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x0409));
    EXPECT_STREQ("ESN", factory.Get3LetterLanguage(0x0C0A));
    EXPECT_STREQ("JPN", factory.Get3LetterLanguage(0x0411));
    EXPECT_STREQ("ENU", factory.Get3LetterLanguage(0x040C));  // French is not on the medium
    EXPECT_EQ(0x0C0A, factory.GetLanguageId("ESN"));
    EXPECT_EQ(0x0411, factory.GetLanguageId("jpn"));
    EXPECT_EQ(0x0409, factory.GetLanguageId("ENU"));
}

// The process-wide factory was constructed right after the trace log: its command-line line
// is this process's first trace line, and it loaded nothing.
TEST(Factory, ProcessWideFactoryFollowsTheTraceLog)
{
    const std::vector<vxtest::TraceLine> lines = vxtest::ReadTraceFile(g_TraceLog.GetPath().c_str());
    ASSERT_FALSE(lines.empty()) << g_TraceLog.GetPath().c_str();
    EXPECT_EQ(static_cast<DWORD>(TRACE_KEY), lines[0].dwFlags);
    EXPECT_EQ(0u, lines[0].sText.find("Parsed command line: \"")) << lines[0].sText;
    EXPECT_NE(std::string::npos, lines[0].sText.find("\\test_factory")) << lines[0].sText;
    EXPECT_TRUE(g_Factory.GetInstallerFileList().empty());
    EXPECT_TRUE(g_Factory.GetModelList().empty());
}

// Tests of machine-wide state: the Windows directory, the debug settings' files, PDI runs.
namespace
{

// Files this test puts into the Windows directory, removed again.
class WindowsDirFiles
{
public:
    ~WindowsDirFiles()
    {
        for (const std::string& sPath : m_files) DeleteFileA(sPath.c_str());
        for (const std::string& sPath : m_dirs) RemoveDirectoryA(sPath.c_str());
    }
    std::string Add(const std::string& sName, const std::string& sText)
    {
        const std::string sPath = vxtest::WindowsDirectory() + "\\" + sName;
        EXPECT_TRUE(vxtest::WriteFileBytes(sPath, sText));
        m_files.push_back(sPath);
        return sPath;
    }
    std::string AddDirectory(const std::string& sName)
    {
        const std::string sPath = vxtest::WindowsDirectory() + "\\" + sName;
        EXPECT_TRUE(CreateDirectoryA(sPath.c_str(), NULL));
        m_dirs.push_back(sPath);
        return sPath;
    }

private:
    std::vector<std::string> m_files;
    std::vector<std::string> m_dirs;
};

}  // namespace

TEST(FactoryMachine, NoPathFindsTheDataFilesOfTheWindowsDirectory)
{
    WindowsDirFiles windows;
    const std::string sFirst = windows.Add("vxqins91.dat", "[Version]\r\nInfrastructureDatabaseList=\r\n");
    const std::string sSecond = windows.Add("vxqins92.dat", "[Version]\r\nInfrastructureDatabaseList=m.dat\r\n");
    const std::string sTooLong = windows.Add("vxqins913.dat", "[Version]\r\n");
    windows.AddDirectory("vxqins93.dat");

    CFactory factory;
    factory.Init(NULL, 1);
    const std::vector<std::string> found = Strings(factory.GetInstallerFileList());
    EXPECT_NE(found.end(), std::find(found.begin(), found.end(), sFirst));
    EXPECT_NE(found.end(), std::find(found.begin(), found.end(), sSecond));
    EXPECT_EQ(found.end(), std::find(found.begin(), found.end(), sTooLong));
    for (const std::string& sPath : found)
    {
        EXPECT_EQ(0u, sPath.find(vxtest::WindowsDirectory() + "\\vx")) << sPath;
        EXPECT_EQ(std::string::npos, sPath.find("vxqins93.dat")) << "a directory was listed";
    }
    // The second file names m.dat, which is not in the Windows directory.
    // Model files of a Windows-directory data file lie beside it.
    EXPECT_EQ(0u, factory.FactorADeviceModel("Windir Model").IsSupported());
    const std::string sLocal = windows.Add("vxqins94.dat", "[Version]\r\nInfrastructureDatabaseList=vxqm94.dat\r\n");
    windows.Add("vxqm94.dat", ModelFileText({{"Windir Model", "WD"}}, "w"));
    factory.Init(NULL, 1);
    EXPECT_EQ(1u, factory.FactorADeviceModel("Windir Model").IsSupported());
    EXPECT_EQ(vxtest::WindowsDirectory() + "\\vxqm94.dat", factory.FactorADeviceModel("Windir Model").GetDatFileName());
}

TEST(FactoryMachine, EveryConstructionSetsTheTraceMask)
{
    const DWORD dwOld = g_TraceLog.GetMask();
    g_TraceLog.SetMask(0x1234);
    {
        const CFactory factory;  // no option, no data file, no vxzdbginfs.ini
        EXPECT_EQ(0u, g_TraceLog.GetMask());
    }
    DataDir data;
    const std::string sDataFile = data.WriteDataFile("", "Log=0x24\r\n");
    {
        const CFactory factory(sDataFile.c_str());
        EXPECT_EQ(0x24u, g_TraceLog.GetMask());
    }
    {
        g_TraceLog.SetMask(0x1234);
        const CFactory factory(sDataFile.c_str(), 0);
        EXPECT_EQ(0x24u, g_TraceLog.GetMask());
        g_TraceLog.SetMask(0x1234);
        const CFactory copy(factory);  // a copy is no new setting
        EXPECT_EQ(0x1234u, g_TraceLog.GetMask());
    }
    g_TraceLog.SetMask(dwOld);
}

namespace
{

const char kPdiDriver[] = "Quorvane Model 1234 Series";

// What the Glue leaves in the registry for the PDI (its folder, its status), so that the run
// goes through the whole flow; removed again with what the flow wrote.
class GlueResults
{
public:
    explicit GlueResults(const std::string& sGluePath)
    {
        Clean();
        EXPECT_TRUE(vxtest::WriteRegistryString(DriverKey(), "GluePath", sGluePath));
        EXPECT_TRUE(vxtest::WriteRegistryDword(DriverKey(), "statuscode", 0));
        // A printer the spooler does not have: the default-printer offer stops at it.
        EXPECT_TRUE(vxtest::WriteRegistryString(DriverKey(), "PrinterFriendlyName", "Quorvane Model 1234 (not installed)"));
    }
    ~GlueResults() { Clean(); }

private:
    static std::string DriverKey() { return "SOFTWARE\\Quorvane\\VXZ\\Glue\\" + std::string(kPdiDriver); }
    static void Clean()
    {
        vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, DriverKey());
        vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\QVX");
        vxtest::DeleteKeyTree(HKEY_LOCAL_MACHINE,
                              "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + std::string(kPdiDriver) + "_Driver");
    }
};

// The PDI run from the sample medium, with TEMP pointed into it; its trace file's lines. A given
// sDataFile is the information file one folder above the PDI's, where its debug settings look.
std::vector<vxtest::TraceLine> RunPdiAndReadTrace(const std::string& sArguments, const std::string& sDataFile = "")
{
    std::string sAutorun, sModels;
    EXPECT_TRUE(vxtest::ReadFileBytes(vxtest::SourceDir() + "\\sample\\medium\\autorun.inf", &sAutorun));
    EXPECT_TRUE(vxtest::ReadFileBytes(vxtest::SourceDir() + "\\sample\\medium\\models.dat", &sModels));
    vxtest::ScratchMedium medium(sAutorun, sModels);
    medium.AddRecorder("vxzsetup.exe");
    medium.AddRecorder("patches\\fix1.exe");
    medium.AddRecorder("patches\\fix2.exe");
    if (!sDataFile.empty())
    {
        EXPECT_TRUE(medium.WriteFile("drivers\\autorun.inf", sDataFile));
    }
    const GlueResults glue(medium.PdiFolder() + "\\");
    const std::string sCommandLine = "\"" + medium.PdiPath() + "\" " + sArguments;
    const vxtest::ProcessResult result = vxtest::RunProcess(
        sCommandLine,
        {{"TEMP", medium.TempFolder()}, {"TMP", medium.TempFolder()}, {"VX_RECORD_FILE", medium.RecordFile()}}, 120000);
    EXPECT_TRUE(result.fFinished);
    // The flow ran to its end: the patches and the product installer were started.
    const std::vector<std::string> log = medium.InstallLog();
    std::string sLog;
    for (const std::string& sLine : log) sLog += sLine + "\n";
    EXPECT_EQ(3u, medium.RecordedRuns().size()) << sLog;
    EXPECT_EQ("The PDI Succeeded", log.empty() ? "" : log.back()) << sLog;
    EXPECT_EQ(std::vector<std::string>({"vxfpdi000.log"}), vxtest::ListFiles(medium.TempFolder() + "\\vxfpdi*.log"));
    return vxtest::ReadTraceFile(medium.TempFolder() + "\\vxfpdi000.log");
}

const char kPdiSwitches[] = "-printerdriver=Quorvane Model 1234 Series -product=Quorvane Model 1234 -port=LPT1:";

}  // namespace

TEST(FactoryMachine, PdiRunWithoutDebugSettingsTracesOnlyItsCommandLine)
{
    const std::vector<vxtest::TraceLine> lines = RunPdiAndReadTrace(kPdiSwitches);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(static_cast<DWORD>(TRACE_KEY), lines[0].dwFlags);
    EXPECT_EQ(0u, lines[0].sText.find("Parsed command line: \"")) << lines[0].sText;
    EXPECT_NE(std::string::npos, lines[0].sText.find("\\vxfpdi14.exe\" \"-printerdriver=Quorvane\" \"Model\" \"1234\""))
        << lines[0].sText;
}

// Lines of every category in dwMask and of no other.
void ExpectCategories(const std::vector<vxtest::TraceLine>& lines, DWORD dwMask)
{
    DWORD dwSeen = 0;
    for (const vxtest::TraceLine& line : lines)
    {
        dwSeen |= line.dwFlags;
        EXPECT_EQ(0u, line.dwFlags & ~dwMask) << line.sText;  // nothing outside the mask
    }
    EXPECT_EQ(dwMask, dwSeen);
}

TEST(FactoryMachine, PdiRunWithLogOptionTracesEveryChosenCategory)
{
    const std::vector<vxtest::TraceLine> lines = RunPdiAndReadTrace(std::string(kPdiSwitches) + " /log 0x2F");
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(std::string::npos, lines[0].sText.find("\"/log\" \"0x2F\"")) << lines[0].sText;
    ExpectCategories(lines, 0x2F);
}

// As a real run finds it: no option, the data file found by the install-media lookup from the
// PDI's folder, its "Log" key read at start-up.
TEST(FactoryMachine, PdiRunTakesTheMaskFromTheMediumsDataFile)
{
    const std::vector<vxtest::TraceLine> lines =
        RunPdiAndReadTrace(kPdiSwitches, "[Version]\r\nLog=0x2F\r\n");
    ASSERT_GT(lines.size(), 1u);
    ExpectCategories(lines, 0x2F);
}
