// The device model record: every key of a model section, its defaults, the OS-qualified
// overrides, GetValue and Dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "infrastructure/device_model.h"
#include "infrastructure/os_version.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

namespace
{

// A model data file of its own for each test (the profile cache keeps every name it read).
class ModelFile
{
public:
    explicit ModelFile(const std::string& sText) : m_dir("dm"), m_sPath(m_dir.File("model.dat"))
    {
        EXPECT_TRUE(vxtest::WriteFileBytes(m_sPath, sText));
    }
    const char* Path() const { return m_sPath.c_str(); }

private:
    vxtest::ScratchDir m_dir;
    std::string m_sPath;
};

// One key of section [M] read into a fresh record.
CDeviceModel ReadWith(const std::string& sLines)
{
    ModelFile file("[M]\r\n" + sLines + "\r\n");
    CDeviceModel model;
    EXPECT_EQ(1u, model.Init("M", file.Path()));
    return model;
}

const char kFullSection[] =
    "[Model1234]\r\n"
    "DriverName=Quorvane Model 1234 Series\r\n"
    "FirmwareName=QV1234FW\r\n"
    "DeviceModel=Quorvane Model 1234\r\n"
    "ModelName=Not this one\r\n"
    "UsbID=usb\\vid_2f1c&pid_1234\r\n"
    "ParBID=lptenum\\quorvane_1234b7c1\r\n"
    "HelpFile=vx1234.hlp\r\n"
    "Type=aio\r\n"
    "USB=1\r\n"
    "IR=2\r\n"
    "1394=3\r\n"
    "MSCL=4\r\n"
    "LPT=5\r\n"
    "PML=6\r\n"
    "VIP=7\r\n"
    "Card=8\r\n"
    "NumDevNodes=9\r\n"
    "Dot4Support=10\r\n"
    "SaveUtility=11\r\n"
    "FrontPort=12\r\n"
    "Capabilities=1F\r\n"
    "FirstIORevision=5\r\n"
    "LastIORevision=7\r\n";

}  // namespace

TEST(DeviceModel, DefaultRecordIsNotSupported)
{
    const CDeviceModel model;
    const char* texts[] = {model.GetFirmwareName(), model.GetSectionName(), model.GetDatFileName(),
                           model.GetDriverName(),   model.GetModelName(),   model.GetUsbID(),
                           model.GetParallelID(),   model.GetHelpFileName()};
    for (size_t i = 0; i < sizeof(texts) / sizeof(texts[0]); ++i)
    {
        ASSERT_NE(nullptr, texts[i]) << i;
        EXPECT_STREQ("", texts[i]) << i;
    }
    EXPECT_EQ(0u, model.IsSupported());
    EXPECT_EQ(1u, model.GetType());
    EXPECT_EQ(-1, model.GetFirstIoRevision());
    EXPECT_EQ(-1, model.GetLastIoRevision());
    EXPECT_EQ(0u, model.HasUSB());
    EXPECT_EQ(0u, model.GetCapabilities());
    EXPECT_EQ(0u, model.GetNumDevNodes());
    EXPECT_EQ(0, static_cast<int>(model.SupportsDOT4()));
    EXPECT_EQ(0, static_cast<int>(model.SaveUtilityMethod()));
}

TEST(DeviceModel, NullArgumentsFailWithTheTrace)
{
    ModelFile file(kFullSection);
    vxtest::TraceCapture trace;
    CDeviceModel model;
    EXPECT_EQ(0u, model.Init(NULL, file.Path()));
    EXPECT_EQ(0u, model.Init("Model1234", NULL));
    EXPECT_EQ(0u, model.IsSupported());
    EXPECT_STREQ("", model.GetDriverName());
    const std::vector<std::string> failures = trace.Texts(TRACE_FAILURE);
    ASSERT_EQ(2u, failures.size());
    EXPECT_EQ("pSectionName or pDatFileName is NULL failed", failures[0]);
    EXPECT_EQ(0u, trace.Count("New CDeviceModel"));
}

TEST(DeviceModel, FullSectionFillsEveryMember)
{
    ModelFile file(kFullSection);
    vxtest::TraceCapture trace;
    CDeviceModel model;
    ASSERT_EQ(1u, model.Init("Model1234", file.Path()));
    EXPECT_STREQ("Model1234", model.GetSectionName());
    EXPECT_STREQ(file.Path(), model.GetDatFileName());
    EXPECT_STREQ("Quorvane Model 1234 Series", model.GetDriverName());
    EXPECT_STREQ("QV1234FW", model.GetFirmwareName());
    EXPECT_STREQ("Quorvane Model 1234", model.GetModelName());  // devicemodel wins over modelname
    EXPECT_STREQ("USB\\VID_2F1C&PID_1234", model.GetUsbID());
    EXPECT_STREQ("LPTENUM\\QUORVANE_1234B7C1", model.GetParallelID());
    EXPECT_STREQ("vx1234.hlp", model.GetHelpFileName());
    EXPECT_EQ(1u, model.GetType());
    const unsigned numbers[] = {model.HasUSB(), model.HasIRLpt(), model.Has1394(), model.HasMSCL(),
                                model.HasLPT(), model.HasPML(),   model.HasVIP(),  model.HasCard(),
                                model.GetNumDevNodes(), static_cast<unsigned>(model.SupportsDOT4()),
                                static_cast<unsigned>(model.SaveUtilityMethod()), model.IsFrontPort()};
    for (size_t i = 0; i < sizeof(numbers) / sizeof(numbers[0]); ++i) EXPECT_EQ(i + 1, numbers[i]) << i;
    EXPECT_EQ(31u, model.GetCapabilities());
    EXPECT_EQ(5, model.GetFirstIoRevision());
    EXPECT_EQ(7, model.GetLastIoRevision());
    EXPECT_EQ(1u, model.IsSupported());

    EXPECT_EQ(1u, trace.Count("New CDeviceModel [Model1234], " + std::string(file.Path())));
    // (On Windows 9x the profile reader adds detail lines of its own.)
    std::vector<std::string> firmware;
    for (const std::string& sText : trace.Texts(TRACE_DETAIL))
    {
        if (sText.find("FirmwareName") != std::string::npos) firmware.push_back(sText);
    }
    EXPECT_EQ(std::vector<std::string>({"FirmwareName from section Model1234 is set to QV1234FW!!!"}), firmware);
    EXPECT_EQ(0u, trace.Count("does not have"));
}

TEST(DeviceModel, TypeWordsAndNumbers)
{
    struct Case
    {
        const char* pszLine;
        DWORD dwType;
    } const cases[] = {
        {"type=printer", 4}, {"type=4", 4},      {"type=Scanner", 2}, {"type=CAMERA", 3}, {"type=aio", 1},
        {"type=fax", 0},     {"type=  2", 2},    {"type=0", 0},       {"type=3abc", 3},   {"type=printers", 0},
        {"", 0},  // no type key at all
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        EXPECT_EQ(cases[i].dwType, ReadWith(cases[i].pszLine).GetType()) << i << ": " << cases[i].pszLine;
    }
}

TEST(DeviceModel, ModelNameFallsBackToModelNameThenDriverName)
{
    vxtest::TraceCapture trace;
    EXPECT_STREQ("From ModelName", ReadWith("drivername=Drv\r\nmodelname=From ModelName").GetModelName());
    EXPECT_STREQ("From DeviceModel", ReadWith("drivername=Drv\r\ndevicemodel=From DeviceModel").GetModelName());
    EXPECT_STREQ("From DeviceModel",
                 ReadWith("drivername=Drv\r\ndevicemodel=From DeviceModel\r\nmodelname=x").GetModelName());
    EXPECT_STREQ("From ModelName", ReadWith("drivername=Drv\r\ndevicemodel=\r\nmodelname=From ModelName").GetModelName());
    EXPECT_EQ(0u, trace.Count("does not have"));

    const CDeviceModel onlyDriver = ReadWith("drivername=Drv 9");
    EXPECT_STREQ("Drv 9", onlyDriver.GetModelName());
    EXPECT_EQ(std::vector<std::string>{"DeviceModel from section M does not have a modelname!!!"},
              trace.Texts(TRACE_KEY));

    trace.Clear();
    const CDeviceModel nothing = ReadWith("usb=1");
    EXPECT_STREQ("", nothing.GetDriverName());
    EXPECT_STREQ("", nothing.GetModelName());
    EXPECT_EQ(1u, nothing.IsSupported());  // kept all the same
    EXPECT_EQ(std::vector<std::string>{"DeviceModel from section M does not have a drivername!!!"},
              trace.Texts(TRACE_FAILURE));
    EXPECT_EQ(1u, trace.Count("does not have a modelname!!!"));
}

TEST(DeviceModel, IdsAreStoredInUpperCase)
{
    const CDeviceModel model = ReadWith("usbid=usb\\vid_2f1c&pid_00ab\r\nparbid=Lpt\\Quorvane_x9");
    EXPECT_STREQ("USB\\VID_2F1C&PID_00AB", model.GetUsbID());
    EXPECT_STREQ("LPT\\QUORVANE_X9", model.GetParallelID());
    EXPECT_STREQ("", ReadWith("drivername=x").GetUsbID());
}

TEST(DeviceModel, CapabilitiesAreHexadecimal)
{
    struct Case
    {
        const char* pszValue;
        DWORD dwCapabilities;
    } const cases[] = {{"1F", 31},   {"0x1F", 31},           {"0X1f", 31}, {"zz", 0},
                       {"", 0},      {"FFFFFFFF", 0xFFFFFFFF}, {" 10", 16}, {"12G4", 0x12}};
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        EXPECT_EQ(cases[i].dwCapabilities, ReadWith(std::string("capabilities=") + cases[i].pszValue).GetCapabilities())
            << i << ": " << cases[i].pszValue;
    }
}

TEST(DeviceModel, IoRevisionsDefaultToMinusOne)
{
    struct Case
    {
        const char* pszLines;
        LONG lFirst;
        LONG lLast;
    } const cases[] = {
        {"firstiorevision=\r\nlastiorevision=", -1, -1},
        {"drivername=x", -1, -1},
        {"firstiorevision=0\r\nlastiorevision=0", 0, 0},
        {"firstiorevision=3\r\nlastiorevision=12", 3, 12},
        {"firstiorevision=-3", -3, -1},
        {"lastiorevision=x", -1, 0},  // present without digits reads as 0
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        const CDeviceModel model = ReadWith(cases[i].pszLines);
        EXPECT_EQ(cases[i].lFirst, model.GetFirstIoRevision()) << i;
        EXPECT_EQ(cases[i].lLast, model.GetLastIoRevision()) << i;
    }
}

TEST(DeviceModel, FlagsHoldTheNumberAsRead)
{
    struct Case
    {
        const char* pszValue;
        DWORD dwValue;
    } const cases[] = {{"2", 2}, {"1", 1}, {" +3", 3}, {"-1", 0xFFFFFFFF}, {"yes", 0}, {"7x", 7}, {"", 0}};
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        const std::string sValue = cases[i].pszValue;
        const CDeviceModel model = ReadWith("usb=" + sValue + "\r\nfrontport=" + sValue + "\r\ndot4support=" + sValue);
        EXPECT_EQ(cases[i].dwValue, model.HasUSB()) << i;
        EXPECT_EQ(cases[i].dwValue, model.IsFrontPort()) << i;
        EXPECT_EQ(cases[i].dwValue, static_cast<DWORD>(model.SupportsDOT4())) << i;
    }
}

// "numdevnodes" is read into 32 bytes: a longer value is cut to its first 31 characters.
TEST(DeviceModel, NumDevNodesValueIsCutToItsBuffer)
{
    EXPECT_EQ(5u, ReadWith("numdevnodes=" + std::string(30, '0') + "5").GetNumDevNodes());
    EXPECT_EQ(0u, ReadWith("numdevnodes=" + std::string(31, '0') + "5").GetNumDevNodes());
    EXPECT_EQ(12u, ReadWith("numdevnodes=  12 nodes").GetNumDevNodes());
}

TEST(DeviceModel, LongTextValuesAreKeptWhole)
{
    const std::string sLong(980, 'D');  // with its key, within the 999 bytes of a profile line
    const CDeviceModel model = ReadWith("drivername=" + sLong + "\r\nhelpfile=" + sLong);
    EXPECT_EQ(sLong, model.GetDriverName());
    EXPECT_EQ(sLong, model.GetModelName());
    EXPECT_EQ(sLong, model.GetHelpFileName());
}

TEST(DeviceModel, MissingFirmwareNameLeavesTheOldOne)
{
    ModelFile file("[A]\r\nfirmwarename=FW-A\r\ndrivername=A\r\n[B]\r\ndrivername=B\r\n");
    CDeviceModel model;
    ASSERT_EQ(1u, model.Init("A", file.Path()));
    ASSERT_EQ(1u, model.Init("B", file.Path()));
    EXPECT_STREQ("FW-A", model.GetFirmwareName());
    EXPECT_STREQ("B", model.GetDriverName());
}

TEST(DeviceModel, MissingSectionOrFileGivesTheDefaultsOfTheTable)
{
    ModelFile file("[Other]\r\ndrivername=x\r\n");
    const std::string sMissingFile = std::string(file.Path()) + ".none";
    const char* files[] = {file.Path(), sMissingFile.c_str()};
    for (size_t i = 0; i < 2; ++i)
    {
        CDeviceModel model;
        ASSERT_EQ(1u, model.Init("Absent", files[i])) << i;
        EXPECT_EQ(1u, model.IsSupported()) << i;
        EXPECT_STREQ("", model.GetDriverName()) << i;
        EXPECT_STREQ("", model.GetModelName()) << i;
        EXPECT_EQ(0u, model.GetType()) << i;  // a read record without type is 0, not 1
        EXPECT_EQ(-1, model.GetFirstIoRevision()) << i;
        EXPECT_STREQ("Absent", model.GetSectionName()) << i;
    }
}

namespace
{

// The qualifiers the running release gives: first level (OS) and second (service pack on NT,
// build on 9x).
struct ReleaseQualifiers
{
    const char* pszRelease;
    const char* pszOs;
    const char* pszSecond;
    const char* pszOtherFamily;  // an OS section of the other family, which must be ignored
};

const ReleaseQualifiers kReleases[] = {
    {"", "501", "501.3", "410"},        {"winxp", "501", "501.3", "410"}, {"win2k", "500", "500.4", "410"},
    {"nt40", "400", "400.6", "410"},    {"win98", "410", "410.2222", "501"},
};

const ReleaseQualifiers* RunningRelease()
{
    for (const ReleaseQualifiers& release : kReleases)
    {
        if (vxtest::WineRelease() == release.pszRelease) return &release;
    }
    return NULL;
}

}  // namespace

TEST(DeviceModel, OsSectionOverridesKeyByKey)
{
    const ReleaseQualifiers* pRelease = RunningRelease();
    if (!pRelease) GTEST_SKIP() << "no qualifiers known for " << vxtest::WineRelease();
    ASSERT_EQ(std::string(pRelease->pszOs), GetOSVersion().c_str());
    const std::string sOs = pRelease->pszOs;
    ModelFile file("[M]\r\ndrivername=Plain\r\nusb=1\r\nlpt=1\r\ncard=1\r\ntype=printer\r\n"
                   "[M." + sOs + "]\r\nusb=5\r\n"
                   "[N]\r\ndrivername=Plain N\r\nusb=1\r\nlpt=1\r\n"
                   "[N." + sOs + "]\r\nusb=5\r\nlpt=6\r\n"
                   "[N." + pRelease->pszSecond + "]\r\nlpt=7\r\n"
                   "[N." + pRelease->pszOtherFamily + "]\r\ncard=9\r\ndrivername=Wrong family\r\n");
    CDeviceModel m;
    ASSERT_EQ(1u, m.Init("M", file.Path()));
    EXPECT_EQ(5u, m.HasUSB());
    EXPECT_STREQ("Plain", m.GetDriverName());
    EXPECT_EQ(1u, m.HasLPT());
    EXPECT_EQ(1u, m.HasCard());
    EXPECT_EQ(4u, m.GetType());

    CDeviceModel n;
    ASSERT_EQ(1u, n.Init("N", file.Path()));
    EXPECT_EQ(5u, n.HasUSB());   // OS section
    EXPECT_EQ(7u, n.HasLPT());   // service pack or build section wins over the OS section
    EXPECT_EQ(0u, n.HasCard());  // the other family's section is not read
    EXPECT_STREQ("Plain N", n.GetDriverName());
    EXPECT_STREQ("N", n.GetSectionName());  // the plain name, whatever section answered
}

TEST(DeviceModel, GetValueReadsOnlyThePlainSection)
{
    const std::string sOs = GetOSVersion().c_str();
    ModelFile file("[M]\r\nasktomakedefaultprinter=Yes\r\nshared=plain\r\nempty=\r\n"
                   "[M." + sOs + "]\r\nshared=qualified\r\nonlyqualified=1\r\n");
    CDeviceModel model;
    ASSERT_EQ(1u, model.Init("M", file.Path()));

    CVxCiString sValue("sentinel");
    EXPECT_EQ(3u, model.GetValue("AskToMakeDefaultPrinter", sValue));
    EXPECT_EQ("Yes", sValue);
    EXPECT_EQ(5u, model.GetValue("shared", sValue));
    EXPECT_EQ("plain", sValue);
    sValue = "sentinel";
    EXPECT_EQ(0u, model.GetValue("onlyqualified", sValue));
    EXPECT_EQ("sentinel", sValue);
    EXPECT_EQ(0u, model.GetValue("empty", sValue));
    EXPECT_EQ("sentinel", sValue);
    EXPECT_EQ(0u, model.GetValue("missing", sValue));
    EXPECT_EQ("sentinel", sValue);

    const CDeviceModel unread;
    EXPECT_EQ(0u, unread.GetValue("asktomakedefaultprinter", sValue));
    EXPECT_EQ("sentinel", sValue);
}

TEST(DeviceModel, DumpWritesTheRecordInOrder)
{
    ModelFile file(kFullSection);
    CDeviceModel model;
    ASSERT_EQ(1u, model.Init("Model1234", file.Path()));
    vxtest::TraceCapture trace;
    model.Dump();
    const std::vector<std::string> expected = {
        "Dump(Model1234) Start",
        "SectionName = Model1234",
        std::string("DatFileName = ") + file.Path(),
        "DriverName = Quorvane Model 1234 Series",
        "UsbID = USB\\VID_2F1C&PID_1234",
        "ParID = LPTENUM\\QUORVANE_1234B7C1",
        "HelpFileName = vx1234.hlp",
        "Dot4Support = 10",
        "SaveUtilityMethod = 11",
        "USB: Yes",
        "IRLpt: Yes",
        "1394: Yes",
        "MSCL: Yes",
        "LPT: Yes",
        "VIP: Yes",
        "Card: Yes",
        "PML: Yes",
        "FrontPort: Yes",
        "Supported: Yes",
        "firstIORevision = 5",
        "lastIORevision = 7",
        "Dump(Model1234) Finished",
    };
    EXPECT_EQ(expected, trace.Texts());
    for (const vxtest::TraceLine& line : trace.Lines()) EXPECT_EQ(static_cast<DWORD>(TRACE_GENERAL), line.dwFlags);

    trace.Clear();
    CDeviceModel().Dump();
    const std::vector<std::string> texts = trace.Texts();
    ASSERT_EQ(expected.size(), texts.size());
    EXPECT_EQ("USB: No", texts[9]);
    EXPECT_EQ("Supported: No", texts[18]);
    EXPECT_EQ("firstIORevision = -1", texts[19]);
}

TEST(DeviceModel, CopiesCarryEveryMember)
{
    ModelFile file(kFullSection);
    CDeviceModel source;
    ASSERT_EQ(1u, source.Init("Model1234", file.Path()));
    const CDeviceModel copy(source);
    CDeviceModel assigned;
    assigned = source;
    const CDeviceModel* records[] = {&copy, &assigned};
    for (size_t i = 0; i < 2; ++i)
    {
        const CDeviceModel& m = *records[i];
        EXPECT_STREQ(source.GetFirmwareName(), m.GetFirmwareName()) << i;
        EXPECT_STREQ(source.GetSectionName(), m.GetSectionName()) << i;
        EXPECT_STREQ(source.GetDatFileName(), m.GetDatFileName()) << i;
        EXPECT_STREQ(source.GetDriverName(), m.GetDriverName()) << i;
        EXPECT_STREQ(source.GetModelName(), m.GetModelName()) << i;
        EXPECT_STREQ(source.GetUsbID(), m.GetUsbID()) << i;
        EXPECT_STREQ(source.GetParallelID(), m.GetParallelID()) << i;
        EXPECT_STREQ(source.GetHelpFileName(), m.GetHelpFileName()) << i;
        EXPECT_EQ(source.HasPML(), m.HasPML()) << i;
        EXPECT_EQ(source.GetNumDevNodes(), m.GetNumDevNodes()) << i;
        EXPECT_EQ(source.GetCapabilities(), m.GetCapabilities()) << i;
        EXPECT_EQ(source.GetType(), m.GetType()) << i;
        EXPECT_EQ(source.GetLastIoRevision(), m.GetLastIoRevision()) << i;
        EXPECT_EQ(source.GetFirstIoRevision(), m.GetFirstIoRevision()) << i;
        EXPECT_EQ(1u, m.IsSupported()) << i;
    }
    // Own texts, not the source's: a changed source leaves the copies as they were.
    const std::string sDriver = source.GetDriverName();
    const std::string sUsbId = source.GetUsbID();
    ModelFile other("[Other]\r\ndrivername=Someone Else\r\nusbid=usb\\other\r\n");
    ASSERT_EQ(1u, source.Init("Other", other.Path()));
    ASSERT_STREQ("Someone Else", source.GetDriverName());
    for (size_t i = 0; i < 2; ++i)
    {
        EXPECT_EQ(sDriver, records[i]->GetDriverName()) << i;
        EXPECT_EQ(sUsbId, records[i]->GetUsbID()) << i;
    }
}

// On a double-byte code page the trail byte of a character may look like a letter; upper-casing
// the identifier must leave it alone.
TEST(DeviceModel, CodePage932TrailBytesAreNotUpperCased)
{
    if (GetACP() != 932) GTEST_SKIP() << "needs code page 932, runs with " << GetACP();
    const std::string sKana = "\x83\x61";  // one character whose trail byte is 'a'
    const CDeviceModel model = ReadWith("usbid=usb\\" + sKana + "x");
    EXPECT_EQ("USB\\" + sKana + "X", std::string(model.GetUsbID()));
}
