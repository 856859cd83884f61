// The export tables of the PDI and of vxinfra14.dll, read from the files' own PE headers:
// every exported class member and free function other programs link against must be there
// under its decorated name.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "support/pe_image.h"
#include "support/test_support.h"

namespace
{

// ---------------------------------------------------------------------------------------------
// The names, as GCC (Itanium ABI) decorates them for the build this test is compiled in.
//
// Where the two Windows targets decorate differently it shows in the macros below: a function
// type with the system's calling convention is marked "U7stdcall" on 32-bit x86 only (there
// is one calling convention on x64); a free function declared WINAPI would also carry "@<bytes
// of arguments>" on 32-bit x86 (none is exported so far); size_t is unsigned int (j) on x86 and
// unsigned long long (y) on x64; the virtual thunks that a class derived from CIPCEvent needs
// for what it does not override name their offsets in bytes.
//
// The accessors are defined in the library's sources, not inside the classes: GCC compiles a
// member defined in the class into each caller and leaves it out of the export table. Members
// the headers declare private are exported too but are not part of the interface, so they are
// not listed.
// ---------------------------------------------------------------------------------------------
#if defined(_WIN64)
#define VX_WINAPI_FUNCTION "F"
#define VX_SIZE_T "y"
#define VX_VCALL_OFFSET_3 "n24"  // virtual-base call offsets: 3, 4, 5 pointers
#define VX_VCALL_OFFSET_4 "n32"
#define VX_VCALL_OFFSET_5 "n40"
const WORD kExpectedMachine = IMAGE_FILE_MACHINE_AMD64;
#else
#define VX_WINAPI_FUNCTION "U7stdcallF"
#define VX_SIZE_T "j"
#define VX_VCALL_OFFSET_3 "n12"
#define VX_VCALL_OFFSET_4 "n16"
#define VX_VCALL_OFFSET_5 "n20"
const WORD kExpectedMachine = IMAGE_FILE_MACHINE_I386;
#endif

struct ExpectedExport
{
    const char* pszOwner;  // class or header the name belongs to, for the failure message
    const char* pszName;
};

const ExpectedExport kExpectedExports[] = {
    // infrastructure/ci_string.h: the localized-string loaders of the string class
    {"CVxCiString", "_ZN11CVxCiString19LoadLocalizedStringEP11HINSTANCE__jt"},
    {"CVxCiString", "_ZN11CVxCiString19LoadLocalizedStringEP11HINSTANCE__jPKc"},
    // diag/trace_log.h
    {"CTraceLog", "_ZN9CTraceLogC1EPKcm"},
    {"CTraceLog", "_ZN9CTraceLogC2EPKcm"},
    {"CTraceLog", "_ZN9CTraceLogD0Ev"},
    {"CTraceLog", "_ZN9CTraceLogD1Ev"},
    {"CTraceLog", "_ZN9CTraceLogD2Ev"},
    {"CTraceLog", "_ZN9CTraceLog5TraceEmPKcz"},
    {"CTraceLog", "_ZN9CTraceLog9TraceAutoEPKcz"},
    {"CTraceLog", "_ZN9CTraceLog12TraceFailureEPKcz"},
    {"CTraceLog", "_ZTV9CTraceLog"},
    {"CTraceLog", "_ZTI9CTraceLog"},
    {"CTraceLog", "g_TraceLog"},
    {"CTraceLog", "_ZN9CTraceLog7SetMaskEm"},
    {"CTraceLog", "_ZNK9CTraceLog7GetMaskEv"},
    {"CTraceLog", "_ZNK9CTraceLog7GetPathEv"},

    // infrastructure/os_version.h
    {"os_version", "_Z4IsNTv"},
    {"os_version", "_Z5IsNT4v"},
    {"os_version", "_Z5IsW2Kv"},
    {"os_version", "_Z4IsXPv"},
    {"os_version", "_Z7IsXP_64v"},
    {"os_version", "_Z9IsWin2003v"},
    {"os_version", "_Z12IsWin2003_64v"},
    {"os_version", "_Z9Is64BitOSv"},
    {"os_version", "_Z7IsPreXPv"},
    {"os_version", "_Z4Is9Xv"},
    {"os_version", "_Z4Is95v"},
    {"os_version", "_Z4Is98v"},
    {"os_version", "_Z4IsMev"},
    {"os_version", "_Z8Is98Goldv"},
    {"os_version", "_Z6Is98SEv"},
    {"os_version", "_Z14GetServicePackv"},
    {"os_version", "_Z12GetOSVersionv"},
    {"os_version", "_Z12GetOSNumbersv"},
    {"os_version", "_Z9GetOSNamev"},
    {"os_version", "_Z18GetOSVersionRecordv"},

    // infrastructure/error_codes.h
    {"error_codes", "_Z14GetErrorStringl"},
    {"error_codes", "_Z15GetLastErrorMsgR11CVxCiString"},
    {"error_codes", "_Z15GetLastErrorMsgjP11HINSTANCE__"},
    {"error_codes", "_Z14ShowMessageBoxP6HWND__PKcS2_jt"},
    {"error_codes", "_Z18MessageBoxStyleForjtt"},
    {"error_codes", "g_aszErrorNames"},

    // infrastructure/thread.h
    {"CThread", "_ZN7CThreadC1Ev"},
    {"CThread", "_ZN7CThreadC2Ev"},
    {"CThread", "_ZN7CThread4InitEP" VX_WINAPI_FUNCTION "mPvES0_mmmP20_SECURITY_ATTRIBUTES"},
    {"CThread", "_ZN7CThread6ResumeEv"},
    {"CThread", "_ZN7CThread4WaitEm"},
    {"CThread", "_ZN7CThread11GetExitCodeEv"},
    {"CThread", "_ZN7CThread5YieldEv"},
    {"CThread", "_ZNK7CThread14GeThisThreadIDEv"},
    {"CThread", "_ZNK7CThreadcvPKvEv"},

    // infrastructure/ipc_objects.h
    {"CSecurity", "_ZN9CSecurityC1Emj"},
    {"CSecurity", "_ZN9CSecurityC2Emj"},
    {"CSecurity", "_ZN9CSecurityD1Ev"},
    {"CSecurity", "_ZN9CSecurityD2Ev"},
    {"CSecurity", "_ZN9CSecurity4InitEmj"},
    {"CSecurity", "_ZN9CSecuritycvP20_SECURITY_ATTRIBUTESEv"},
    {"CSecurity", "_ZN9CSecurity13GetDescriptorEv"},
    {"CSecurity", "g_SharedSecurity"},
    {"CIPCObj", "_ZN7CIPCObjC1Ev"},
    {"CIPCObj", "_ZN7CIPCObjC2Ev"},
    {"CIPCObj", "_ZN7CIPCObjD0Ev"},
    {"CIPCObj", "_ZN7CIPCObjD1Ev"},
    {"CIPCObj", "_ZN7CIPCObjD2Ev"},
    {"CIPCObj", "_ZN7CIPCObj10CreateOpenEPKcS1_S1_jjj"},
    {"CIPCObj", "_ZN7CIPCObj4OpenEPKcS1_S1_jj"},
    {"CIPCObj", "_ZN7CIPCObj5CloseEv"},
    {"CIPCObj", "_ZTV7CIPCObj"},
    {"CIPCObj", "_ZTI7CIPCObj"},
    {"CIPCObj", "_ZNK7CIPCObj16GetATemporalNameEv"},
    {"CIPCObj", "_ZNK7CIPCObj9GetHandleEv"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutexC1Ev"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutexC2Ev"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutexC1EPKc"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutexC2EPKc"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutexD0Ev"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutexD1Ev"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutexD2Ev"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutex4WaitEm"},
    {"CInfrastructureMutex", "_ZN20CInfrastructureMutex7ReleaseEv"},
    {"CInfrastructureMutex", "_ZTV20CInfrastructureMutex"},
    {"CInfrastructureMutex", "_ZTI20CInfrastructureMutex"},
    {"CInfrastructureMutex", "g_SpoolerMutex"},
    {"CMutexLock", "_ZN10CMutexLockC1ER20CInfrastructureMutexm"},
    {"CMutexLock", "_ZN10CMutexLockC2ER20CInfrastructureMutexm"},
    {"CMutexLock", "_ZN10CMutexLockD1Ev"},
    {"CMutexLock", "_ZN10CMutexLockD2Ev"},
    {"CMutexLock", "_ZN10CMutexLock6UnlockEv"},
    {"CMutexLock", "_ZNK10CMutexLock7IsOwnedEv"},
    {"CMutexLock", "_ZNK10CMutexLock12WasAbandonedEv"},
    {"CMutexLock", "_ZNK10CMutexLock13GetWaitResultEv"},
    {"CIPCEvent", "_ZN9CIPCEventC1Ev"},
    {"CIPCEvent", "_ZN9CIPCEventC2Ev"},
    {"CIPCEvent", "_ZN9CIPCEventD0Ev"},
    {"CIPCEvent", "_ZN9CIPCEventD1Ev"},
    {"CIPCEvent", "_ZN9CIPCEventD2Ev"},
    {"CIPCEvent", "_ZN9CIPCEvent3SetEj"},
    {"CIPCEvent", "_ZN9CIPCEvent5PulseEv"},
    {"CIPCEvent", "_ZN9CIPCEvent5ResetEv"},
    {"CIPCEvent", "_ZN9CIPCEvent4WaitEm"},
    {"CIPCEvent", "_ZN9CIPCEvent8RegisterER15CEventComposite"},
    {"CIPCEvent", "_ZN9CIPCEvent10UnRegisterER15CEventComposite"},
    {"CIPCEvent", "_ZN9CIPCEvent9CreateObjEjPKcj"},
    {"CIPCEvent", "_ZN9CIPCEvent7OpenObjEjPKcj"},
    {"CIPCEvent", "_ZN9CIPCEvent19OpenOrCreateOpenObjEjPKcjj"},
    {"CIPCEvent", "_ZTV9CIPCEvent"},
    {"CIPCEvent", "_ZTT9CIPCEvent"},
    {"CIPCEvent", "_ZTI9CIPCEvent"},
    {"CIPCEvent", "_ZTv0_" VX_VCALL_OFFSET_3 "_N9CIPCEvent9CreateObjEjPKcj"},
    {"CIPCEvent", "_ZTv0_" VX_VCALL_OFFSET_4 "_N9CIPCEvent7OpenObjEjPKcj"},
    {"CIPCEvent", "_ZTv0_" VX_VCALL_OFFSET_5 "_N9CIPCEventD0Ev"},
    {"CIPCEvent", "_ZTv0_" VX_VCALL_OFFSET_5 "_N9CIPCEventD1Ev"},
    {"event functions", "_Z19WaitForSingleObjectR9CIPCEventm"},
    {"event functions", "_Z8SetEventR9CIPCEvent"},
    {"event functions", "_Z10ResetEventR9CIPCEvent"},

    // infrastructure/event_composite.h
    {"CEventComposite", "_ZN15CEventCompositeC1Ev"},
    {"CEventComposite", "_ZN15CEventCompositeC2Ev"},
    {"CEventComposite", "_ZN15CEventCompositeD0Ev"},
    {"CEventComposite", "_ZN15CEventCompositeD1Ev"},
    {"CEventComposite", "_ZN15CEventCompositeD2Ev"},
    {"CEventComposite", "_ZN15CEventComposite9CreateObjEjPKcj"},
    {"CEventComposite", "_ZN15CEventCompositepLER9CIPCEvent"},
    {"CEventComposite", "_ZN15CEventComposite3SetERK9CIPCEvent"},
    {"CEventComposite", "_ZN15CEventComposite5PulseERK9CIPCEvent"},
    {"CEventComposite", "_ZN15CEventComposite5ResetEv"},
    {"CEventComposite", "_ZN15CEventComposite4WaitEm"},
    {"CEventComposite", "_ZTV15CEventComposite"},
    {"CEventComposite", "_ZTT15CEventComposite"},
    {"CEventComposite", "_ZTI15CEventComposite"},
    {"CEventComposite", "_ZTv0_" VX_VCALL_OFFSET_3 "_N15CEventComposite9CreateObjEjPKcj"},
    {"CEventComposite", "_ZTv0_" VX_VCALL_OFFSET_5 "_N15CEventCompositeD0Ev"},
    {"CEventComposite", "_ZTv0_" VX_VCALL_OFFSET_5 "_N15CEventCompositeD1Ev"},

    // infrastructure/device_model.h
    {"CDeviceModel", "_ZN12CDeviceModelC1Ev"},
    {"CDeviceModel", "_ZN12CDeviceModelC2Ev"},
    {"CDeviceModel", "_ZN12CDeviceModelD0Ev"},
    {"CDeviceModel", "_ZN12CDeviceModelD1Ev"},
    {"CDeviceModel", "_ZN12CDeviceModelD2Ev"},
    {"CDeviceModel", "_ZN12CDeviceModel4InitEPKcS1_"},
    {"CDeviceModel", "_ZNK12CDeviceModel8GetValueERK11CVxCiStringRS0_"},
    {"CDeviceModel", "_ZNK12CDeviceModel4DumpEv"},
    {"CDeviceModel", "_ZTV12CDeviceModel"},
    {"CDeviceModel", "_ZTI12CDeviceModel"},
    {"CDeviceModel", "_ZNK12CDeviceModel11IsFrontPortEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel11IsSupportedEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel12GetModelNameEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel12SupportsDOT4Ev"},
    {"CDeviceModel", "_ZNK12CDeviceModel13GetDriverNameEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel13GetParallelIDEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel14GetDatFileNameEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel14GetNumDevNodesEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel14GetSectionNameEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel15GetCapabilitiesEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel15GetFirmwareNameEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel15GetHelpFileNameEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel17GetLastIoRevisionEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel17SaveUtilityMethodEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel18GetFirstIoRevisionEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel6HasLPTEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel6HasPMLEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel6HasUSBEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel6HasVIPEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel7GetTypeEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel7Has1394Ev"},
    {"CDeviceModel", "_ZNK12CDeviceModel7HasCardEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel7HasMSCLEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel8GetUsbIDEv"},
    {"CDeviceModel", "_ZNK12CDeviceModel8HasIRLptEv"},

    // infrastructure/factory.h
    {"CFactory", "_ZN8CFactoryC1EPKcm"},
    {"CFactory", "_ZN8CFactoryC2EPKcm"},
    {"CFactory", "_ZN8CFactoryC1ERKS_"},
    {"CFactory", "_ZN8CFactoryC2ERKS_"},
    {"CFactory", "_ZN8CFactoryD0Ev"},
    {"CFactory", "_ZN8CFactoryD1Ev"},
    {"CFactory", "_ZN8CFactoryD2Ev"},
    {"CFactory", "_ZNK8CFactory4InitEPKcmS1_"},
    {"CFactory", "_ZNK8CFactory18FactorADeviceModelEPKc"},
    {"CFactory", "_ZNK8CFactory15InitLanguageMapEv"},
    {"CFactory", "_ZNK8CFactory13GetLanguageIdEPKc"},
    {"CFactory", "_ZNK8CFactory18Get3LetterLanguageEt"},
    {"CFactory", "_ZTV8CFactory"},
    {"CFactory", "_ZTI8CFactory"},
    {"CFactory", "g_Factory"},
    {"CFactory", "_ZNK8CFactory12GetModelListEv"},
    {"CFactory", "_ZNK8CFactory14GetInfFileListEv"},
    {"CFactory", "_ZNK8CFactory20GetInstallerFileListEv"},

    // infrastructure/port.h
    {"CPort", "_ZN5CPortC1Ev"},
    {"CPort", "_ZN5CPortC2Ev"},
    {"CPort", "_ZN5CPort4InitEPKc"},
    {"CPort", "_ZNK5CPort10GetAddressEPcm"},
    {"CPort", "_ZNK5CPort13GetPortNumberEPc"},
    {"CPort", "_ZNK5CPort11IsSupportedEv"},
    {"CPort", "_ZNK5CPort5IsUNCEv"},
    {"CPort", "_ZNK5CPort8IsFakeIOEv"},
    {"CPort", "_ZNK5CPort6IsNoIOEv"},
    {"CPort", "_ZNK5CPort15IsFILEConnectedEv"},
    {"CPort", "_ZNK5CPort15IsDirectConnectEv"},
    {"CPort", "_ZNK5CPort7IsIrLPTEv"},
    {"CPort", "_ZN5CPort8IsFakeIOEPKc"},
    {"CPort", "_ZN5CPort6IsNoIOEPKc"},
    {"CPort", "_ZN5CPort15IsDirectConnectEPKc"},
    {"CPort", "_ZNK5CPort9GetDeviceER17CPortDeviceObject"},
    {"CPort", "_ZNK5CPort19GetDeviceInstanceIDER11CVxCiString"},
    {"CPort", "_ZNK5CPort11GetPortInfoEv"},
    {"CPort", "_ZNK5CPort15ReleasePortInfoEPc"},
    {"CPort", "_ZNK5CPort11IsVersionOKEPKcxx"},
    {"CPort", "_ZNK5CPort19GetATemporalNamePtrEv"},

    // infrastructure/printer.h
    {"CPrinter", "_ZN8CPrinterC1Ev"},
    {"CPrinter", "_ZN8CPrinterC2Ev"},
    {"CPrinter", "_ZN8CPrinterC1ERKS_"},
    {"CPrinter", "_ZN8CPrinterC2ERKS_"},
    {"CPrinter", "_ZN8CPrinteraSERKS_"},
    {"CPrinter", "_ZN8CPrinterD0Ev"},
    {"CPrinter", "_ZN8CPrinterD1Ev"},
    {"CPrinter", "_ZN8CPrinterD2Ev"},
    {"CPrinter", "_ZN8CPrinter4InitEPKcj"},
    {"CPrinter", "_ZNK8CPrinter15DeviceModelInitEv"},
    {"CPrinter", "_ZNK8CPrinter16GetWindowsHandleENS_9ETypeUserE"},
    {"CPrinter", "_ZNK8CPrinter6OpenVXENS_9ETypeUserE"},
    {"CPrinter", "_ZNK8CPrinter19BuildPathToPrintersEPc"},
    {"CPrinter", "_ZNK8CPrinter13BuildPathToVXEPc"},
    {"CPrinter", "_ZNK8CPrinter19BuildPathToPrintersEPc" VX_SIZE_T},
    {"CPrinter", "_ZNK8CPrinter13BuildPathToVXEPc" VX_SIZE_T},
    {"CPrinter", "_ZNK8CPrinter14GetPrinterInfoEj"},
    {"CPrinter", "_ZNK8CPrinter18ReleasePrinterInfoEPv"},
    {"CPrinter", "_ZN8CPrinter14SetPrinterInfoEPvj"},
    {"CPrinter", "_ZNK8CPrinter13GetAttributesEv"},
    {"CPrinter", "_ZNK8CPrinter9GetStatusEv"},
    {"CPrinter", "_ZNK8CPrinter5IsUNCEv"},
    {"CPrinter", "_ZNK8CPrinter16IsDirect2PrinterEv"},
    {"CPrinter", "_ZNK8CPrinter10IsDisabledEv"},
    {"CPrinter", "_ZNK8CPrinter8IsPausedEv"},
    {"CPrinter", "_ZNK8CPrinter15IsPortSupportedEv"},
    {"CPrinter", "_ZNK8CPrinter17IsDeviceSupportedEv"},
    {"CPrinter", "_ZNK8CPrinter11IsSupportedEv"},
    {"CPrinter", "_ZNK8CPrinter15MustBeMonitoredEv"},
    {"CPrinter", "_ZNK8CPrinter15IsFILEConnectedEv"},
    {"CPrinter", "_ZNK8CPrinter7IsIrLPTEv"},
    {"CPrinter", "_ZNK8CPrinter15IsDirectConnectEv"},
    {"CPrinter", "_ZN8CPrinter6EnableEm"},
    {"CPrinter", "_ZN8CPrinter8EnableLMEmPKc"},
    {"CPrinter", "_ZNK8CPrinter10GetAddressEPcm"},
    {"CPrinter", "_ZNK8CPrinter13GetPortNumberEPc"},
    {"CPrinter", "_ZNK8CPrinter12SupportsDOT4Ev"},
    {"CPrinter", "_ZNK8CPrinter17SaveUtilityMethodEv"},
    {"CPrinter", "_ZNK8CPrinter15GetHelpFileNameEv"},
    {"CPrinter", "_ZNK8CPrinter15GetFirmwareNameEv"},
    {"CPrinter", "_ZNK8CPrinter12GetModelNameEv"},
    {"CPrinter", "_ZNK8CPrinter6HasUSBEv"},
    {"CPrinter", "_ZNK8CPrinter6HasPMLEv"},
    {"CPrinter", "_ZNK8CPrinter8HasIRLptEv"},
    {"CPrinter", "_ZNK8CPrinter7HasCardEv"},
    {"CPrinter", "_ZNK8CPrinter7Has1394Ev"},
    {"CPrinter", "_ZNK8CPrinter7HasMSCLEv"},
    {"CPrinter", "_ZNK8CPrinter6HasLPTEv"},
    {"CPrinter", "_ZNK8CPrinter6HasVIPEv"},
    {"CPrinter", "_ZNK8CPrinter12HasOldDriverEv"},
    {"CPrinter", "_ZNK8CPrinter19GetDeviceInstanceIDEv"},
    {"CPrinter", "_ZNK8CPrinter4DumpEv"},
    {"CPrinter", "_ZNK8CPrinter18GetCardDriveLetterERc"},
    {"CPrinter", "_ZN8CPrinter14ShowWarningMsgEPKcS1_j"},
    {"CPrinter", "_ZTV8CPrinter"},
    {"CPrinter", "_ZTI8CPrinter"},
    {"CPrinter", "_ZN8CPrinter7DisableEv"},
    {"CPrinter", "_ZN8CPrinter9DisableLMEv"},
    {"CPrinter", "_ZNK8CPrinter19GetATemporalPortRefEv"},
    {"CPrinter", "_ZNK8CPrinter23GetATemporalPortNamePtrEv"},
    {"CPrinter", "_ZNK8CPrinter27GetATemporalFriendlyNamePtrEv"},

    // infrastructure/spooler_enum.h
    {"ForAllPrinters", "_Z14ForAllPrintersPFjR8CPrinterPvS1_S1_EPFjPKcS1_S1_S1_ES1_S1_S1_m"},
    {"ForAllDrivers", "_Z13ForAllDriversPFjR15_DRIVER_INFO_2APvS1_S1_EPFjPKcS1_S1_S1_ES1_S1_S1_"},
    {"ForAllPorts", "_Z11ForAllPortsPFjR13_PORT_INFO_2APvS1_S1_EPFjPKcS1_S1_S1_ES1_S1_S1_"},
    {"ForAllMonitors", "_Z14ForAllMonitorsPFjR16_MONITOR_INFO_1APvS1_S1_EPFjPKcS1_S1_S1_ES1_S1_S1_"},

    // infrastructure/pnp_devices.h
    {"CDevInfoSet", "_ZN11CDevInfoSetC1Ev"},
    {"CDevInfoSet", "_ZN11CDevInfoSetC2Ev"},
    {"CDevInfoSet", "_ZN11CDevInfoSetD1Ev"},
    {"CDevInfoSet", "_ZN11CDevInfoSetD2Ev"},
    {"CDevInfoSet", "_ZN11CDevInfoSet4OpenEPK5_GUIDPKcP6HWND__m"},
    {"CDevInfoSet", "_ZN11CDevInfoSet11OpenPresentERK5_GUID"},
    {"CDevInfoSet", "_ZN11CDevInfoSet21OpenPresentInterfacesERK5_GUID"},
    {"CDevInfoSet", "_ZN11CDevInfoSet5CloseEv"},
    {"CDevInfoSet", "_ZN11CDevInfoSet10NextDeviceER13CDeviceObject"},
    {"CDevInfoSet", "_ZN11CDevInfoSet18FindByPhysicalNameEPKcR13CDeviceObject"},
    {"CDevInfoSet", "_ZN11CDevInfoSet28OpenPresentInterfacesAndFindERK5_GUIDPKcR13CDeviceObject"},
    {"CDevInfoSet", "_ZNK11CDevInfoSet12GetNextIndexEv"},
    {"CDevInfoSet", "_ZNK11CDevInfoSet17GetInterfaceClassEv"},
    {"CDevInfoSet", "_ZNK11CDevInfoSet6IsOpenEv"},
    {"CDevInfoSet", "_ZNK11CDevInfoSet9GetHandleEv"},
    {"CDeviceInterface", "_ZN16CDeviceInterfaceC1Ev"},
    {"CDeviceInterface", "_ZN16CDeviceInterfaceC2Ev"},
    {"CDeviceInterface", "_ZNK16CDeviceInterface10OpenRegKeyEmPP6HKEY__"},
    {"CDeviceInterface", "_ZNK16CDeviceInterface14GetCDevInfoSetEv"},
    {"CDeviceInterface", "_ZNK16CDeviceInterface16GetInterfaceDataEv"},
    {"CDeviceObject", "_ZN13CDeviceObjectC1Ev"},
    {"CDeviceObject", "_ZN13CDeviceObjectC2Ev"},
    {"CDeviceObject", "_ZN13CDeviceObjectC1ERKS_"},
    {"CDeviceObject", "_ZN13CDeviceObjectC2ERKS_"},
    {"CDeviceObject", "_ZN13CDeviceObjectaSERKS_"},
    {"CDeviceObject", "_ZN13CDeviceObjectD0Ev"},
    {"CDeviceObject", "_ZN13CDeviceObjectD1Ev"},
    {"CDeviceObject", "_ZN13CDeviceObjectD2Ev"},
    {"CDeviceObject", "_ZNK13CDeviceObject19GetRegistryPropertyEmPmPhmS0_"},
    {"CDeviceObject", "_ZNK13CDeviceObject19GetRegistryPropertyEmR11CVxCiString"},
    {"CDeviceObject", "_ZNK13CDeviceObject19GetDeviceInstanceIDER11CVxCiString"},
    {"CDeviceObject", "_ZNK13CDeviceObject9GetParentERS_"},
    {"CDeviceObject", "_ZNK13CDeviceObject27GetPhysicalDeviceObjectNameER11CVxCiString"},
    {"CDeviceObject", "_ZNK13CDeviceObject17GetFirstInterfaceER16CDeviceInterface"},
    {"CDeviceObject", "_ZNK13CDeviceObject14GetDriveLetterERc"},
    {"CDeviceObject", "_ZN13CDeviceObject19InitFromDriveLetterEc"},
    {"CDeviceObject", "_ZTV13CDeviceObject"},
    {"CDeviceObject", "_ZTI13CDeviceObject"},
    {"CDeviceObject", "_ZN13CDeviceObject11GetInfoDataEv"},
    {"CDeviceObject", "_ZNK13CDeviceObject11GetInfoDataEv"},
    {"CDeviceObject", "_ZNK13CDeviceObject14GetCDevInfoSetEv"},
    {"CPortDeviceObject", "_ZTV17CPortDeviceObject"},
    {"CPortDeviceObject", "_ZTI17CPortDeviceObject"},
    {"ForAllDevices", "_Z13ForAllDevicesPFjR13CDeviceObjectPvS1_S1_ES1_S1_S1_mRK5_GUID"},
};

// The export directory of a PE file image held in memory.
class PeExports
{
public:
    bool Parse(const std::string& sImage, std::string* psError)
    {
        std::string sError;
        const bool fOk = m_image.Parse(sImage, &sError) && m_image.ReadExports(&m_names, &sError);
        if (psError) *psError = sError;
        if (!fOk) m_names.clear();
        return fOk;
    }

    WORD Machine() const { return m_image.Machine(); }
    // Name -> function address (RVA), in the table's order.
    const std::vector<std::pair<std::string, DWORD> >& Names() const { return m_names; }
    bool Has(const std::string& sName) const
    {
        for (const auto& name : m_names)
        {
            if (name.first == sName) return true;
        }
        return false;
    }

private:
    vxtest::PeImage m_image;
    std::vector<std::pair<std::string, DWORD> > m_names;
};

std::string DllPath() { return vxtest::WinPathFromUnix(vxtest::Env("VX_INFRA_DLL")); }

struct Module
{
    const char* pszWhat;
    std::string (*pfnPath)();
};

const Module kModules[] = {{"vxfpdi14.exe", vxtest::PdiExePath}, {"vxinfra14.dll", DllPath}};

bool LoadExports(const std::string& sPath, PeExports* pExports)
{
    std::string sImage, sError;
    if (!vxtest::ReadFileBytes(sPath, &sImage))
    {
        ADD_FAILURE() << "cannot read " << sPath;
        return false;
    }
    if (!pExports->Parse(sImage, &sError))
    {
        ADD_FAILURE() << sPath << ": " << sError;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// The reader itself: it must agree with the system's loader and refuse damaged files.
// ---------------------------------------------------------------------------------------------
TEST(PeExportReader, AgreesWithTheLoader)
{
    PeExports exports;
    ASSERT_TRUE(LoadExports(DllPath(), &exports));
    ASSERT_GT(exports.Names().size(), 100u);

    // Mapped without running its start-up: only the table is looked at.
    HMODULE hDll = LoadLibraryExA(DllPath().c_str(), NULL, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_TRUE(hDll != NULL) << GetLastError();
    size_t i = 0;
    for (const auto& name : exports.Names())
    {
        FARPROC pfn = GetProcAddress(hDll, name.first.c_str());
        ASSERT_TRUE(pfn != NULL) << i << ": " << name.first;
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(hDll) + name.second, reinterpret_cast<ULONG_PTR>(pfn))
            << i << ": " << name.first;
        ++i;
    }
    FreeLibrary(hDll);
}

TEST(PeExportReader, NamesAreSortedAsTheLoaderSearchesThem)
{
    for (const Module& module : kModules)
    {
        PeExports exports;
        ASSERT_TRUE(LoadExports(module.pfnPath(), &exports)) << module.pszWhat;
        for (size_t i = 1; i < exports.Names().size(); ++i)
        {
            EXPECT_LT(std::strcmp(exports.Names()[i - 1].first.c_str(), exports.Names()[i].first.c_str()), 0)
                << module.pszWhat << " " << i;
        }
    }
}

// Offsets of the headers of the DLL's image, for damaging them one at a time.
struct Layout
{
    size_t cbNt;          // "PE\0\0"
    size_t cbOptional;    // optional header
    size_t cbExportsRva;  // DataDirectory[EXPORT].VirtualAddress
};

Layout LayoutOf(const std::string& sImage)
{
    IMAGE_DOS_HEADER dos;
    std::memcpy(&dos, sImage.data(), sizeof(dos));
    Layout layout;
    layout.cbNt = static_cast<size_t>(dos.e_lfanew);
    layout.cbOptional = layout.cbNt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER);
    WORD wMagic;
    std::memcpy(&wMagic, sImage.data() + layout.cbOptional, sizeof(wMagic));
    layout.cbExportsRva = layout.cbOptional + (wMagic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                                                   ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                   : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
    return layout;
}

TEST(PeExportReader, RefusesDamagedFiles)
{
    std::string sImage;
    ASSERT_TRUE(vxtest::ReadFileBytes(DllPath(), &sImage));
    ASSERT_GT(sImage.size(), 4096u);
    const Layout layout = LayoutOf(sImage);

    struct Damage
    {
        const char* pszWhat;
        size_t cbOffset;  // where a 0xCC-filled DWORD goes; npos: cut the file there instead
        size_t cbCut;
    };
    const size_t npos = static_cast<size_t>(-1);
    const Damage kDamages[] = {
        {"empty file", npos, 0},
        {"shorter than the MZ header", npos, sizeof(IMAGE_DOS_HEADER) - 1},
        {"cut inside the file header", npos, layout.cbNt + 8},
        {"cut inside the optional header", npos, layout.cbOptional + 16},
        {"cut after the headers", npos, 1024},
        {"MZ overwritten", 0, 0},
        {"e_lfanew far outside", offsetof(IMAGE_DOS_HEADER, e_lfanew), 0},
        {"PE signature overwritten", layout.cbNt, 0},
        {"optional header magic overwritten", layout.cbOptional, 0},
        {"export directory outside every section", layout.cbExportsRva, 0},
    };
    for (size_t i = 0; i < sizeof(kDamages) / sizeof(kDamages[0]); ++i)
    {
        std::string sDamaged = sImage;
        if (kDamages[i].cbOffset == npos)
        {
            sDamaged.resize(kDamages[i].cbCut);
        }
        else
        {
            std::memset(&sDamaged[kDamages[i].cbOffset], 0xcc, sizeof(DWORD));
        }
        PeExports exports;
        std::string sError;
        EXPECT_FALSE(exports.Parse(sDamaged, &sError)) << i << ": " << kDamages[i].pszWhat;
        EXPECT_FALSE(sError.empty()) << i;
        EXPECT_TRUE(exports.Names().empty()) << i;
    }
}

// ---------------------------------------------------------------------------------------------
// The exports themselves.
// ---------------------------------------------------------------------------------------------
TEST(Exports, ModulesAreBuiltForThisTablesMachine)
{
    for (const Module& module : kModules)
    {
        PeExports exports;
        ASSERT_TRUE(LoadExports(module.pfnPath(), &exports)) << module.pszWhat;
        EXPECT_EQ(kExpectedMachine, exports.Machine()) << module.pszWhat;
    }
}

TEST(Exports, EveryInterfaceNameIsExported)
{
#if !defined(__GNUC__)
    GTEST_SKIP() << "the table holds the names GCC gives";
#endif
    for (const Module& module : kModules)
    {
        PeExports exports;
        ASSERT_TRUE(LoadExports(module.pfnPath(), &exports)) << module.pszWhat;
        for (size_t i = 0; i < sizeof(kExpectedExports) / sizeof(kExpectedExports[0]); ++i)
        {
            EXPECT_TRUE(exports.Has(kExpectedExports[i].pszName))
                << module.pszWhat << " lacks " << i << " (" << kExpectedExports[i].pszOwner
                << "): " << kExpectedExports[i].pszName;
        }
    }
}

TEST(Exports, TableNamesEachExportOnce)
{
    std::vector<std::string> names;
    for (const ExpectedExport& expected : kExpectedExports) names.push_back(expected.pszName);
    std::sort(names.begin(), names.end());
    EXPECT_TRUE(std::adjacent_find(names.begin(), names.end()) == names.end());
}

// A program may load either; both must offer the same library.
TEST(Exports, ExecutableAndDllExportTheSameNames)
{
    PeExports exe, dll;
    ASSERT_TRUE(LoadExports(vxtest::PdiExePath(), &exe));
    ASSERT_TRUE(LoadExports(DllPath(), &dll));
    std::vector<std::string> exeNames, dllNames;
    for (const auto& name : exe.Names()) exeNames.push_back(name.first);
    for (const auto& name : dll.Names()) dllNames.push_back(name.first);
    std::sort(exeNames.begin(), exeNames.end());
    std::sort(dllNames.begin(), dllNames.end());
    std::vector<std::string> onlyExe, onlyDll;
    std::set_difference(exeNames.begin(), exeNames.end(), dllNames.begin(), dllNames.end(),
                        std::back_inserter(onlyExe));
    std::set_difference(dllNames.begin(), dllNames.end(), exeNames.begin(), exeNames.end(),
                        std::back_inserter(onlyDll));
    for (const std::string& s : onlyExe) ADD_FAILURE() << "only the executable exports " << s;
    for (const std::string& s : onlyDll) ADD_FAILURE() << "only the DLL exports " << s;
}

}  // namespace
