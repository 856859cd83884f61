#include "explanations.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace logview
{

namespace
{

// Conditions are the source text of the failed check; formats are the printf formats of the
// messages. Specific entries come before general ones with the same text.
const Explanation kTable[] = {
    // The entry: command line and outcome.
    {eOriginCondition, "lpszCmdLine == 0", "pdi_main.cpp", eWeightFatal, eStepCommandLine,
     "The PDI was started without a command line. The Glue always passes one: the PDI was started by something else, "
     "or by hand. Start it through the Glue's install."},
    {eOriginCondition, "*lpszCmdLine == '\\0'", "pdi_main.cpp", eWeightFatal, eStepCommandLine,
     "The PDI was started with an empty command line, for example by double-clicking it. The Glue passes "
     "-printerdriver=, -product= and -port=; run the driver install again instead of starting the PDI by hand."},
    {eOriginCondition, "sCmdLine.empty()", "pdi_main.cpp", eWeightFatal, eStepCommandLine,
     "The PDI's copy of its command line is empty. Check how the PDI was started (the \"Command Line\" line at the end)."},
    {eOriginCondition, "fInstall == false", "pdi_main.cpp", eWeightFatal, eStepCommandLine,
     "One of the switches -printerdriver=, -product= or -port= is missing from the command line; each missing one "
     "left a \"sDriverName.empty()\" line (see the lines before). Check the \"Command Line\" line and the Glue that started the PDI."},
    {eOriginCondition, "MimicLegacyGlue( sCmdLine ) == false", "pdi_main.cpp", eWeightConsequence, eStepAny,
     "The install flow failed; the line before it names the cause."},
    {eOriginInstallLog, "Glue passed a status code to the PDI", NULL, eWeightStep, eStepCommandLine,
     "The Glue passed the statuscode switch: it reports an install failure of its own. The PDI goes on with the flow."},
    {eOriginInstallLog, "No recovery implemented -- exiting", NULL, eWeightStep, eStepCommandLine,
     "Follows the status-code line; the PDI has no recovery for the Glue's failure and goes on regardless."},
    {eOriginInstallLog, "PDI Pathname = %s", NULL, eWeightStep, eStepAny, "The PDI's own path, written at the end of every run."},
    {eOriginInstallLog, "Command Line = %s", NULL, eWeightStep, eStepAny,
     "The command line the PDI was started with (NULL when it had none), written at the end of every run."},
    {eOriginInstallLog, "The PDI Succeeded", NULL, eWeightStep, eStepAny, "The outcome: the run succeeded."},
    {eOriginInstallLog, "The PDI Failed", NULL, eWeightStep, eStepAny, "The outcome: the run failed."},

    // The handshake with the Glue.
    {eOriginCondition, "hEventGlueRan == 0", NULL, eWeightFatal, eStepHandshake,
     "The named event VXZ_Glue_Ran could not be created or opened. Another program may own an object of that name "
     "with other rights, or the system ran out of resources: restart the machine and install again."},
    {eOriginCondition, "SetEvent( hEventGlueRan ) == FALSE", NULL, eWeightFatal, eStepHandshake,
     "The PDI could not signal VXZ_Glue_Ran; the event exists without the right to signal it. Check for a leftover "
     "Glue or installer process and restart the machine."},
    {eOriginCondition, "hEventGlueInstalledDriver == 0", NULL, eWeightFatal, eStepHandshake,
     "The named event VXZ_Glue_Installed_Driver could not be created or opened. Restart the machine and install again."},
    {eOriginCondition, "ResetEvent( hEventGlueInstalledDriver ) == FALSE", NULL, eWeightFatal, eStepHandshake,
     "The PDI could not reset VXZ_Glue_Installed_Driver; the event exists without the right to change it."},
    {eOriginCondition, "hEventGlueFinished == 0", NULL, eWeightFatal, eStepHandshake,
     "The named event VXZ_Glue_Finished could not be created or opened. Restart the machine and install again."},
    {eOriginCondition, "ResetEvent( hEventGlueFinished ) == FALSE", NULL, eWeightFatal, eStepHandshake,
     "The PDI could not reset VXZ_Glue_Finished; the event exists without the right to change it."},

    // The installation mutex.
    {eOriginCondition, "hMutexInstallerInitializing == 0", NULL, eWeightFatal, eStepMutex,
     "The mutex VXZ_Installation_Initializing could not be created or opened. Restart the machine and install again."},
    {eOriginCondition, "dwWaitResult == WAIT_TIMEOUT", NULL, eWeightFatal, eStepMutex,
     "Another process held the installation mutex VXZ_Installation_Initializing for the whole three minutes the PDI "
     "waits. Usually a product installer or a second Glue is still running, or hangs with a window open: look for "
     "vxzsetup.exe or another install in the task list, end it, and install again."},
    {eOriginCondition, "dwWaitResult == WAIT_ABANDONED", NULL, eWeightFatal, eStepMutex,
     "The installation mutex was left by a process that ended while it held it (a crashed or killed Glue, installer "
     "or earlier PDI). The PDI now owns it and releases it, but counts the run as failed: install again."},
    {eOriginCondition, "dwWaitResult == WAIT_FAILED", NULL, eWeightFatal, eStepMutex,
     "Waiting for the installation mutex failed outright; the handle was not usable. Restart the machine."},
    {eOriginCondition, "dwWaitResult != WAIT_OBJECT_0", NULL, eWeightFatal, eStepMutex,
     "The wait for the installation mutex returned a result the PDI does not know."},
    {eOriginCondition, "ReleaseMutex( hMutexInstallerInitializing ) == FALSE", NULL, eWeightFatal, eStepInstallType,
     "The PDI could not release the installation mutex after its registry work; the Glue and the product installer "
     "may be left waiting."},

    // The switches and the Glue's registry values.
    {eOriginCondition, "sCmdLine.empty()", "pdi_install.cpp", eWeightFatal, eStepRegistryValues,
     "The install flow was handed an empty command line."},
    {eOriginCondition, "FindCmdLineVar( sCmdLine, g_sSwitchPrinterDriver, &sDriverName ) == false", NULL, eWeightFatal,
     eStepRegistryValues, "The -printerdriver= switch could not be read from the command line. Check the \"Command Line\" line."},
    {eOriginCondition, "sDriverName.empty()", "pdi_install.cpp", eWeightFatal, eStepRegistryValues,
     "The -printerdriver= switch has no value, so the Glue's key of the driver cannot be found."},
    {eOriginCondition, "FindCmdLineVar( sCmdLine, g_sSwitchProduct, &sProduct ) == false", NULL, eWeightFatal,
     eStepRegistryValues, "The -product= switch could not be read from the command line."},
    {eOriginCondition, "sProduct.empty()", NULL, eWeightFatal, eStepRegistryValues, "The -product= switch has no value."},
    {eOriginCondition, "FindCmdLineVar( sCmdLine, g_sSwitchPort, &sPort ) == false", NULL, eWeightFatal, eStepRegistryValues,
     "The -port= switch could not be read from the command line."},
    {eOriginCondition, "sPort.empty()", NULL, eWeightFatal, eStepRegistryValues, "The -port= switch has no value."},
    {eOriginInstallLog, "Glue values read in the %s registry view", NULL, eWeightStep, eStepRegistryValues,
     "64-bit Windows only: where the PDI found the driver's Glue key. \"32-bit\" is the PDI's own view; \"64-bit\" means "
     "the key was only there, written by a 64-bit Glue. The PDI reads, tidies and deletes the Glue's values of this run "
     "in that view; look for them there in the registry."},

    // The Glue's status.
    {eOriginCondition, "(TotalSleepTime + (iRetry * 100)) > MaxSleepTime", NULL, eWeightProblem, eStepStatusRetries,
     "The Glue had not written its \"statuscode\" value under the driver's Glue key when the PDI's retries ran out "
     "(about 3.6 seconds). The PDI goes on without handing the status on (no \"GlueResult\"). Check that the Glue "
     "finished its own install and wrote statuscode; a Glue that fails early leaves no status."},
    {eOriginCondition, "(iRetry + 1) > nMaxRetries", NULL, eWeightProblem, eStepStatusRetries,
     "The Glue's \"statuscode\" value was still missing after the last retry. The PDI goes on without it; check that "
     "the Glue finished its install."},
    {eOriginInstallLog, "RegRetryGetDwordValue (%s, %s) Failed After %d Retries and %d Milliseconds", NULL, eWeightProblem,
     eStepStatusRetries,
     "The value named here was not found in the registry in all the retries; for \"statuscode\" it means the Glue did "
     "not report its status in time. The run goes on."},

    // The Glue folder.
    {eOriginCondition, "RegGetStringValue( sRegKeyGlueDriver, g_sRegVnGluePath, &sGluePath ) == false", NULL, eWeightFatal,
     eStepGlueFolder,
     "The driver's Glue key has no usable \"GluePath\" value (missing, or not a string: see the lines before). The "
     "Glue writes it when it installs the driver: the Glue did not run for this driver, or the -printerdriver= name "
     "differs from the name the Glue used."},
    {eOriginCondition, "IsFilePresent( sGluePath ) == false", NULL, eWeightFatal, eStepGlueFolder,
     "The folder that \"GluePath\" names does not exist. The install medium was removed or its drive letter changed "
     "while the driver was installed, or the Glue wrote a wrong path. Check that the medium is still there and "
     "install again from it."},

    // The default-printer question.
    {eOriginCondition, "printerName == \"\"", NULL, eWeightFatal, eStepDefaultPrinter,
     "The driver's Glue key has no \"PrinterFriendlyName\" (or it is empty), so the PDI cannot ask whether the new "
     "printer should be the default. The Glue writes it after it added the printer: check that the printer was "
     "created."},
    {eOriginInstallLog, "Failed to set default printer\n", NULL, eWeightProblem, eStepDefaultPrinter,
     "The user answered Yes, but the printer could not be made the default printer (no rights, or the spooler "
     "refused). Set it by hand in the Printers folder."},

    // The install type and the installer.
    {eOriginCondition, "GetInstallType( sGluePath, &eInstallType ) == false", NULL, eWeightConsequence, eStepInstallType,
     "The install type could not be decided; the line before it names the cause."},
    {eOriginCondition, "sGluePath.empty()", NULL, eWeightFatal, eStepInstallType, "The Glue path handed to the install-type check is empty."},
    {eOriginCondition, "peType == 0", NULL, eWeightFatal, eStepInstallType, "Internal: the install-type check got no place for its result."},
    {eOriginCondition, "sFixedGluePath.length() < 2", NULL, eWeightFatal, eStepInstallType,
     "The \"GluePath\" value is shorter than two characters, too short to be a folder."},
    {eOriginCondition, "GetShortPathName( sFixedGluePath.c_str(), szShortPath, _MAX_PATH ) == 0", NULL, eWeightFatal,
     eStepInstallType, "On Windows 9x the short name of the Glue folder could not be found; the folder vanished."},
    {eOriginCondition, "fRegOk == false", NULL, eWeightFatal, eStepInstallType,
     "A product installer is running (VXZ_Installer_Running is signalled) but the Glue key has no \"PreloadPath\": "
     "the PDI cannot tell whether the install comes from the preload folder."},
    {eOriginCondition, "sPreloadPath != sFixedGluePath", NULL, eWeightFatal, eStepInstallType,
     "A product installer is running (VXZ_Installer_Running is signalled) but the driver comes from a folder other "
     "than the preload folder (\"PreloadPath\"). Let the running installer finish, or end it, and install again."},
    {eOriginCondition, "SetEvent( hEventGlueInstalledDriver ) == FALSE", NULL, eWeightFatal, eStepInstallType,
     "The PDI could not signal VXZ_Glue_Installed_Driver; the Glue and the installer will not see the driver as "
     "installed."},
    {eOriginCondition, "DedOVA(eInstallType, sGluePath ) == false", NULL, eWeightFatal, eStepPatches,
     "The install medium's autorun.inf was not found two folders above the PDI (or installed on the machine), so "
     "neither patches nor the product installer could be started. Check that the PDI runs from the medium's "
     "drivers folder and the medium is complete."},

    // Patches.
    {eOriginCondition, "InstallDriverRelatedPatches()==FALSE", NULL, eWeightProblem, eStepPatches,
     "The patch list could not be read (no autorun.inf, or the PDI's own folder is unknown); no patch ran and the "
     "product installer is not started."},
    {eOriginInstallLog, "strLanguage.c_str()=%s", NULL, eWeightStep, eStepPatches, "The language the patch list is chosen for."},
    {eOriginInstallLog, "langQualifier=%s", NULL, eWeightStep, eStepPatches, "The language part of the patch section's name."},
    {eOriginInstallLog, "qualifierWithLangAppended=%s", NULL, eWeightStep, eStepPatches,
     "The patch section tried first: system and language."},
    {eOriginInstallLog, "qualifier=%s", NULL, eWeightStep, eStepPatches, "The patch section tried next: system only."},
    {eOriginInstallLog, "command.c_str()=%s", NULL, eWeightStep, eStepPatches, "A patch the PDI starts, with its command line."},

    // The installer start.
    {eOriginCondition, "GetModuleDirectory( 0, szModuleDir, _MAX_PATH ) == FALSE", NULL, eWeightProblem, eStepInstaller,
     "The PDI could not find its own folder, so the product installer was not started."},
    {eOriginInstallLog, "DedOVA launching \"%s\"", NULL, eWeightStep, eStepInstaller, "The product installer the PDI starts."},
    {eOriginCondition, "WinExecResult == 0", NULL, eWeightProblem, eStepInstaller,
     "The product installer could not be started: the system is out of memory or resources."},
    {eOriginCondition, "WinExecResult == ERROR_BAD_FORMAT", NULL, eWeightProblem, eStepInstaller,
     "vxzsetup.exe on the medium is not a program this Windows can run (damaged or for another system). Check the medium."},
    {eOriginCondition, "WinExecResult == ERROR_FILE_NOT_FOUND", NULL, eWeightProblem, eStepInstaller,
     "vxzsetup.exe is missing from the medium's root. Check that the medium is complete; the software can be installed "
     "by starting vxzsetup.exe by hand."},
    {eOriginCondition, "WinExecResult == ERROR_PATH_NOT_FOUND", NULL, eWeightProblem, eStepInstaller,
     "The medium's root folder was not found when the installer was started; the medium was removed during the install."},

    // The product signal.
    {eOriginCondition, "result == FALSE", NULL, eWeightProblem, eStepProductSignal,
     "autorun.inf names no DIVISION and no LAST_IO_REVISION in its Version section, so the product cannot be told that "
     "the driver install finished. Check the medium's autorun.inf."},

    {eOriginInstallLog, "Error --> %s", NULL, eWeightDetail, eStepAny,
     "A failed check of the PDI, with the source text of the condition (each has its own explanation)."},

    // Registry access: the line after these tells which value was meant.
    {eOriginInstallLog, "RegGetStringValue (%s, %s) Failed, lResult = %d", NULL, eWeightDetail, eStepAny,
     "A string value could not be read (2: it does not exist; 5: access denied). A missing Glue key of a model is "
     "normal when the Glue has not installed it before."},
    {eOriginInstallLog, "RegSetStringValue (%s, %s, %s) Failed, lResult = %d", NULL, eWeightProblem, eStepAny,
     "A string value could not be written (5: access denied). The install user may lack administrator rights."},
    {eOriginInstallLog, "RegGetDwordValue (%s, %s) Failed, lResult = %d", NULL, eWeightDetail, eStepAny,
     "A number value could not be read (2: it does not exist)."},
    {eOriginInstallLog, "RegSetDwordValue (%s, %s, 0x%.8x) Failed, lResult = %d", NULL, eWeightProblem, eStepAny,
     "A number value could not be written (5: access denied)."},
    {eOriginInstallLog, "RegDeleteValue (%s, %s) Failed, lResult = %d", NULL, eWeightDetail, eStepAny,
     "A value could not be deleted (2: it was already gone)."},
    {eOriginInstallLog, "RegDeleteKey (%s) Failed, lResult = 0x%.8x", NULL, eWeightDetail, eStepAny,
     "A key could not be deleted (the driver's uninstall entry was already gone, or access was denied)."},
    {eOriginCondition, "lResult != ERROR_SUCCESS", NULL, eWeightDetail, eStepAny,
     "A registry call failed; the message beside it names the key and value. A missing value is often normal here."},
    {eOriginCondition, "dwType != REG_SZ", NULL, eWeightDetail, eStepAny,
     "A registry value that should be a string has another type. Something other than the Glue wrote it."},
    {eOriginCondition, "dwType != REG_DWORD", NULL, eWeightDetail, eStepAny,
     "A registry value that should be a number has another type. Something other than the Glue wrote it."},
    {eOriginCondition, "cbData == 0", NULL, eWeightDetail, eStepAny, "A registry string value is empty (not even its terminator)."},
    {eOriginCondition, "(cbData == 0) || (cbData != sizeof(DWORD))", NULL, eWeightDetail, eStepAny,
     "A registry number value has the wrong size."},
    {eOriginCondition, "pbData == 0", NULL, eWeightDetail, eStepAny, "No memory for a registry value: the machine is short of memory."},
    {eOriginCondition, "sPath.empty()", NULL, eWeightDetail, eStepAny, "Internal: a registry call was given no key path."},
    {eOriginCondition, "sValueName.empty()", NULL, eWeightDetail, eStepAny, "Internal: a registry call was given no value name."},
    {eOriginCondition, "sValueData.empty()", NULL, eWeightDetail, eStepAny, "A registry string write was given an empty text."},
    {eOriginCondition, "psValueData == 0", NULL, eWeightDetail, eStepAny, "Internal: a registry read was given no place for its result."},
    {eOriginCondition, "pdwValueData == 0", NULL, eWeightDetail, eStepAny, "Internal: a registry read was given no place for its result."},
    {eOriginCondition, "hkRoot == 0", NULL, eWeightDetail, eStepAny, "Internal: a registry call was given no root key."},
    {eOriginCondition, "hRegKey == 0", NULL, eWeightDetail, eStepAny, "Internal: a key delete was given no key."},
    {eOriginCondition, "sRegKey.empty()", NULL, eWeightDetail, eStepAny, "Internal: a key delete was given no key path."},
    {eOriginCondition, "isRegKey == CVxCiString::npos", NULL, eWeightDetail, eStepAny,
     "A key path to delete has no parent key (no backslash)."},
    {eOriginCondition, "sSubkey.empty()", NULL, eWeightDetail, eStepAny, "Internal: a key delete was given no subkey name."},
    {eOriginCondition, "(lResult = RegOpenKeyEx( hRegKey, sSubkey.c_str(), 0, KEY_ALL_ACCESS, &hRegSubkey )) != ERROR_SUCCESS",
     NULL, eWeightDetail, eStepAny, "A key to delete could not be opened: it is gone already, or access was denied."},
    {eOriginCondition, "(lResult = RegQueryInfoKey( hRegSubkey, 0, 0, 0, &nSubkeys, 0, 0, 0, 0, 0, 0, 0 )) != ERROR_SUCCESS",
     NULL, eWeightDetail, eStepAny, "The subkeys of a key to delete could not be counted."},
    {eOriginCondition, "(lResult = RegEnumKey( hRegSubkey, (nSubkeys - iSubkey - 1), pszSubkeyName, _MAX_PATH + 1 )) != ERROR_SUCCESS",
     NULL, eWeightDetail, eStepAny, "A subkey of a key to delete could not be listed (a name longer than 260 characters?)."},
    {eOriginCondition, "RegRecursiveDeleteKey( hRegSubkey, pszSubkeyName ) == false", NULL, eWeightDetail, eStepAny,
     "A subkey could not be deleted, so neither could its parent."},
    {eOriginCondition, "RegRecursiveDeleteKey( hRegKey, sSubkey ) == false", NULL, eWeightDetail, eStepAny,
     "A key with its subkeys could not be deleted."},

    // Command-line switches and the system's version, as the Glue family reads them.
    {eOriginCondition, "sCmdLine.empty()", NULL, eWeightDetail, eStepAny, "A switch was looked for in an empty command line."},
    {eOriginCondition, "sDriverName.empty()", NULL, eWeightDetail, eStepCommandLine,
     "A switch the PDI looks for is not on the command line. Normal for the optional statuscode switch (the first "
     "such line of every run); a required switch missing is followed by \"fInstall == false\"."},
    {eOriginCondition, "sParameterName.empty()", NULL, eWeightDetail, eStepAny, "Internal: a switch was looked for without a name."},
    {eOriginCondition, "psParameterValue == 0", NULL, eWeightDetail, eStepAny, "Internal: a switch was read without a place for its value."},
    {eOriginCondition, "sParameterValue.empty()", NULL, eWeightDetail, eStepAny, "A switch is present but has no value."},
    {eOriginCondition, "isCmdLine == CVxCiString::npos", NULL, eWeightDetail, eStepAny, "A switch is not on the command line."},
    {eOriginCondition, "isCmdLine >= sCmdLine.length()", NULL, eWeightDetail, eStepAny, "A switch ends the command line without a value."},
    {eOriginCondition, "sKey.empty()", NULL, eWeightDetail, eStepAny, "Internal: a name=value pair was looked for without a name."},
    {eOriginCondition, "psValue == 0", NULL, eWeightDetail, eStepAny, "Internal: a name=value pair was read without a place for its value."},
    {eOriginCondition, "isValue == CVxCiString::npos", NULL, eWeightDetail, eStepAny, "A name=value pair has no value after its name."},
    {eOriginCondition, "sValue.empty()", NULL, eWeightDetail, eStepAny, "A name=value pair has an empty value."},
    {eOriginCondition, "GetVersionEx( &tOsVersion ) == 0", NULL, eWeightDetail, eStepAny,
     "The system's version could not be read; the PDI treats the system as unknown."},
    {eOriginCondition, "tOsVersion.dwMajorVersion < 4", NULL, eWeightDetail, eStepAny,
     "The system reports a version before Windows 95 and NT 4.0, which the PDI does not support."},
    {eOriginCondition, "(tOsVersion.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) && (tOsVersion.dwPlatformId != VER_PLATFORM_WIN32_NT)",
     NULL, eWeightDetail, eStepAny, "The system is neither Windows 9x nor the NT family."},

    // The trace: the PDI's step markers first.
    {eOriginTrace, "Step: %s\n", NULL, eWeightStep, eStepAny, "The PDI starts the step named here."},
    {eOriginTrace, "Default printer question answered %s\n", NULL, eWeightStep, eStepDefaultPrinter,
     "The user's answer to the default-printer question."},
    {eOriginTrace, "Not doing default printer check in 98/Me\n", NULL, eWeightStep, eStepDefaultPrinter,
     "No default-printer question on this system: it is asked only on Windows 2000 and on 32-bit XP when the install "
     "is not silent."},
    {eOriginTrace, "Get the friendly name of the printer being installed\n", NULL, eWeightStep, eStepDefaultPrinter,
     "The PDI reads the new printer's name for the question."},
    {eOriginTrace, "Friendly name = %s\n", NULL, eWeightStep, eStepDefaultPrinter, "The new printer's name."},
    {eOriginTrace, "Entering DefaultPrinter(%s)\n", NULL, eWeightStep, eStepDefaultPrinter,
     "The PDI decides whether to ask the question."},
    {eOriginTrace, "AskToMakeDefaultPrinter(%s)", NULL, eWeightStep, eStepDefaultPrinter,
     "The PDI looks up whether the printer's model wants the question."},
    {eOriginTrace, "AskToMakeDefaultPrinter(%s) return %d", NULL, eWeightStep, eStepDefaultPrinter,
     "1: the model wants the question; 0: it does not (or the printer or model is unknown), so none is asked."},
    {eOriginTrace, "AskToMakeDefault is true\n", NULL, eWeightStep, eStepDefaultPrinter, "The model wants the question."},
    {eOriginTrace, "Installing printer is already the default printer\n", NULL, eWeightStep, eStepDefaultPrinter,
     "The new printer is already the default printer: no question."},
    {eOriginTrace, "%s is not a supported device model", NULL, eWeightStep, eStepDefaultPrinter,
     "The printer's model is not in the medium's model files: no question. Check that the medium fits the printer."},
    {eOriginTrace, "Binding GetDefaultPrinterA and SetDefaultPrinterA failed\n", NULL, eWeightProblem, eStepDefaultPrinter,
     "The system offers no default-printer calls; the question was skipped."},
    {eOriginTrace, "Failed to Get localized string\n", NULL, eWeightProblem, eStepDefaultPrinter,
     "The question's text in the user's language was not found; the question was skipped."},
    {eOriginTrace, "Failed to get the IDS_ASK_TO_MAKE_DEFAULT_PRINTER string to show the set default printer question\n", NULL,
     eWeightProblem, eStepDefaultPrinter, "The question's text could not be built; the question was skipped."},
    {eOriginTrace, "FormatMessage error = %s", NULL, eWeightDetail, eStepDefaultPrinter, "The system's reason for the line before."},
    {eOriginTrace, "Question template refused: an insert takes an argument other than the name\n", NULL, eWeightProblem,
     eStepDefaultPrinter, "The localized question text is damaged; the question was skipped."},
    {eOriginTrace, "Printer name of %u bytes is too long to offer as the default printer\n", NULL, eWeightProblem,
     eStepDefaultPrinter, "The printer's name is too long for the question; the question was skipped."},
    {eOriginTrace, "Failed to set default printer for %s\n", NULL, eWeightProblem, eStepDefaultPrinter,
     "The printer could not be made the default printer. Set it by hand."},
    {eOriginTrace, "Cannot initialize CFactory object failed\n", NULL, eWeightProblem, eStepDefaultPrinter,
     "The medium's model files could not be read; no question."},
    {eOriginTrace, "Cannot initialize CPrinter object failed\n", NULL, eWeightProblem, eStepDefaultPrinter,
     "The new printer was not found in the spooler; no question. Check that the printer was created."},
    {eOriginTrace, "DefaultPrinter: out of memory failed\n", NULL, eWeightProblem, eStepDefaultPrinter,
     "The machine ran out of memory during the question; it was skipped."},
    {eOriginTrace, "IsSilentInstall(%s)\n", NULL, eWeightStep, eStepDefaultPrinter, "The PDI asks the medium whether the install is silent."},
    {eOriginTrace, "IsSilentInstall(%s) return %d\n", NULL, eWeightStep, eStepDefaultPrinter,
     "1: the medium asks for a silent install (no question on XP); 0: it does not."},
    {eOriginTrace, "HasGlueRunBefore: Factory(%s)\n", NULL, eWeightStep, eStepPatches,
     "The PDI checks whether the Glue installed a model of this medium before (then no patches)."},
    {eOriginTrace, "HasGlueRunBefore: Model=%s\n", NULL, eWeightStep, eStepPatches, "A model of the medium whose Glue key is checked."},
    {eOriginTrace, "HasGlueRunBefore: Factory(%s) returns %d\n", NULL, eWeightStep, eStepPatches,
     "1: the Glue ran before and the patches are skipped; 0: the patches run."},
    {eOriginTrace, "Launching %s ..\n", NULL, eWeightStep, eStepPatches, "A patch is started."},
    {eOriginTrace, "CreateProcess returns %d\n", NULL, eWeightProblemIfZero, eStepPatches,
     "0: the patch could not be started (missing from the medium, or not a program); the next one runs."},
    {eOriginTrace, "Process %s returns %d\n", NULL, eWeightProblemIfNonZero, eStepPatches,
     "The patch's exit code. Not 0: the patch reports a failure (or ran longer than ten minutes and was left); the "
     "PDI goes on. Run the patch by hand with its command line to see its message."},
    {eOriginTrace, "GetModuleFileName failed\n", NULL, eWeightProblem, eStepPatches,
     "The PDI could not find its own path; the patches were not run."},
    {eOriginTrace, "GetDirectoryNameFromPath failed\n", NULL, eWeightProblem, eStepPatches,
     "The PDI could not find its own folder; the patches were not run."},
    {eOriginTrace, "IsSoftwareInstalled(%s)\n", NULL, eWeightStep, eStepInstaller,
     "The PDI checks whether the medium's software is installed already."},
    {eOriginTrace, "IsSoftwareInstalled(%s) return %d\n", NULL, eWeightStep, eStepInstaller,
     "1: the software is installed and the installer is not started; 0: it is started."},
    {eOriginTrace, "About to signal %s\n", NULL, eWeightStep, eStepProductSignal,
     "The named event and registry value that tell the product the driver install finished."},
    {eOriginTrace, "Cannot get autorun.inf failed\n", NULL, eWeightProblem, eStepAny,
     "autorun.inf was not found two folders above the PDI nor installed on the machine. Check that the PDI runs from "
     "the medium's drivers folder."},
    {eOriginTrace, "%s failed\n", NULL, eWeightProblem, eStepAny, "The operation named here failed."},
};

const size_t kEntries = sizeof(kTable) / sizeof(kTable[0]);

bool IsHexDigit(unsigned char c) { return std::isdigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsFlagOrWidth(char c) { return std::strchr("-+ #0123456789.lhL", c) != NULL; }

// A piece of a format between its %s conversions: literal characters and numbers.
struct Segment
{
    const char* pszStart;
    const char* pszEnd;
};

// Where the conversion that starts at the '%' ends, and its conversion character (0 for a
// format cut off inside it).
const char* ConversionEnd(const char* p, const char* pszEnd, char* pcConversion)
{
    ++p;
    while (p < pszEnd && *p != '%' && IsFlagOrWidth(*p)) ++p;
    *pcConversion = p < pszEnd ? *p : '\0';
    return p < pszEnd ? p + 1 : pszEnd;
}

// The end of the text that the segment matches from iText, or npos. A number takes an optional
// sign and every digit that follows, as printf writes it.
size_t MatchSegmentAt(const Segment& segment, const std::string& sText, size_t iText)
{
    for (const char* p = segment.pszStart; p < segment.pszEnd;)
    {
        if (*p != '%' || (p + 1 < segment.pszEnd && p[1] == '%'))
        {
            if (iText >= sText.size() || sText[iText] != *p) return std::string::npos;
            p += *p == '%' ? 2 : 1;
            ++iText;
            continue;
        }
        char cConversion = '\0';
        p = ConversionEnd(p, segment.pszEnd, &cConversion);
        if (!cConversion) return std::string::npos;
        const bool fHex = cConversion == 'x' || cConversion == 'X';
        if (iText < sText.size() && sText[iText] == '-' && (cConversion == 'd' || cConversion == 'i')) ++iText;
        const size_t iDigits = iText;
        while (iText < sText.size() &&
               (fHex ? IsHexDigit(static_cast<unsigned char>(sText[iText])) : std::isdigit(static_cast<unsigned char>(sText[iText]))))
            ++iText;
        if (iText == iDigits) return std::string::npos;
    }
    return iText;
}

// The format's segments, split at each %s.
std::vector<Segment> SplitAtStrings(const char* pszFormat, size_t cchFormat)
{
    std::vector<Segment> segments;
    const char* const pszEnd = pszFormat + cchFormat;
    const char* pszStart = pszFormat;
    for (const char* p = pszFormat; p < pszEnd;)
    {
        if (*p != '%')
        {
            ++p;
            continue;
        }
        if (p + 1 < pszEnd && p[1] == '%')
        {
            p += 2;
            continue;
        }
        char cConversion = '\0';
        const char* pszNext = ConversionEnd(p, pszEnd, &cConversion);
        if (cConversion == 's')
        {
            segments.push_back(Segment{pszStart, p});
            pszStart = pszNext;
        }
        p = pszNext;
    }
    segments.push_back(Segment{pszStart, pszEnd});
    return segments;
}

// Each %s matches any text. The first segment must match at the start and the last one at the
// end; every one between is matched where it first fits. That is enough: a segment that fits
// further on also ends further on (a number runs to its last digit), and the %s after it takes
// what lies between. So the cost is the text's length times the format's, whatever the text.
bool MatchSegments(const std::vector<Segment>& segments, const std::string& sText)
{
    size_t iText = MatchSegmentAt(segments[0], sText, 0);
    if (iText == std::string::npos) return false;
    if (segments.size() == 1) return iText == sText.size();
    for (size_t i = 1; i + 1 < segments.size(); ++i)
    {
        size_t iEnd = std::string::npos;
        for (size_t iStart = iText; iStart <= sText.size() && iEnd == std::string::npos; ++iStart)
            iEnd = MatchSegmentAt(segments[i], sText, iStart);
        if (iEnd == std::string::npos) return false;
        iText = iEnd;
    }
    for (size_t iStart = iText; iStart <= sText.size(); ++iStart)
    {
        if (MatchSegmentAt(segments.back(), sText, iStart) == sText.size()) return true;
    }
    return false;
}

bool SourceFits(const Explanation& entry, const char* pszSource)
{
    return entry.pszSource == NULL || (pszSource && std::strcmp(entry.pszSource, pszSource) == 0);
}

bool TextFits(const Explanation& entry, const std::string& sText)
{
    if (entry.eOrigin == eOriginCondition) return sText == entry.pszText;
    // A trace line's own "\n" was taken off with the line end; so was one of the install log's.
    size_t cchFormat = std::strlen(entry.pszText);
    if (cchFormat > 0 && entry.pszText[cchFormat - 1] == '\n') --cchFormat;
    return MatchSegments(SplitAtStrings(entry.pszText, cchFormat), sText);
}

long LastNumber(const std::string& sText)
{
    size_t iEnd = sText.size();
    while (iEnd > 0 && !std::isdigit(static_cast<unsigned char>(sText[iEnd - 1]))) --iEnd;
    size_t iStart = iEnd;
    while (iStart > 0 && std::isdigit(static_cast<unsigned char>(sText[iStart - 1]))) --iStart;
    if (iStart > 0 && sText[iStart - 1] == '-') --iStart;
    return std::strtol(sText.substr(iStart, iEnd - iStart).c_str(), NULL, 10);
}

}  // namespace

const Explanation* ExplanationTable(size_t* pcEntries)
{
    *pcEntries = kEntries;
    return kTable;
}

bool MatchesFormat(const char* pszFormat, const std::string& sText)
{
    return MatchSegments(SplitAtStrings(pszFormat, std::strlen(pszFormat)), sText);
}

const Explanation* FindExplanation(LineOrigin eOrigin, const std::string& sText, const char* pszSource)
{
    for (size_t i = 0; i < kEntries; ++i)
    {
        if (kTable[i].eOrigin == eOrigin && SourceFits(kTable[i], pszSource) && TextFits(kTable[i], sText)) return &kTable[i];
    }
    return NULL;
}

const Explanation* FindEntryByText(LineOrigin eOrigin, const std::string& sText, const char* pszSource)
{
    for (size_t i = 0; i < kEntries; ++i)
    {
        if (kTable[i].eOrigin == eOrigin && SourceFits(kTable[i], pszSource) && sText == kTable[i].pszText) return &kTable[i];
    }
    return NULL;
}

LineWeight EffectiveWeight(const Explanation& entry, const std::string& sText)
{
    if (entry.eWeight == eWeightProblemIfNonZero) return LastNumber(sText) != 0 ? eWeightProblem : eWeightStep;
    if (entry.eWeight == eWeightProblemIfZero) return LastNumber(sText) == 0 ? eWeightProblem : eWeightStep;
    return entry.eWeight;
}

}  // namespace logview
