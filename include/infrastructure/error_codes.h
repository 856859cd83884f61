// The library's result codes, their names, the system's texts for the others, and the one
// message box of the executable.
#ifndef INFRASTRUCTURE_ERROR_CODES_H
#define INFRASTRUCTURE_ERROR_CODES_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/vxinfra_api.h"

// The library's own failures count down from -50000 so that they meet neither success (0) nor
// a Win32 error code (positive). Operations failing inside a system call return its code.
const LONG ERR_NOERROR = 0;
const LONG ERR_UNKNOWN = -50000;
const LONG ERR_MEMORY = -50001;
const LONG ERR_BADPARAMETER = -50002;
const LONG ERR_INVALIDPOINTER = -50003;
const LONG ERR_PRINTERNOTSUPPORTED = -50004;
const LONG ERR_PORTNOTSUPPORTED = -50005;
const LONG ERR_CONNECTIONLOST = -50006;
const LONG ERR_PRINTERNOTFOUND = -50007;
const LONG ERR_BUFFEROVERFLOW = -50008;
const LONG ERR_RESOURCEUNAVAILABLE = -50009;
const LONG ERR_TIMEOUT = -50010;
const LONG ERR_READONLY = -50011;
const LONG ERR_ACTIONNOTNOW = -50012;
const LONG ERR_RESOURCENOTFOUND = -50013;
const LONG ERR_MUTEX = -50014;
const LONG ERR_COMMUNITYNAME = -50015;
const LONG ERR_STLEXCEPTION = -50016;
const LONG ERR_REMOVEPRINTER = -50017;
const LONG ERR_ERRORNOTFOUND = -50018;
const LONG ERR_ERRORMASKED = -50019;

// Index 0 names ERR_NOERROR, index k (1..20) the code -50000 - (k - 1).
const size_t ERR_NAME_COUNT = 21;
VXINFRA_API extern const char* const g_aszErrorNames[ERR_NAME_COUNT];

// The name of an ERR_ code, or the system's text for any other code (with its trailing line
// break; empty when the system has none). Afterwards the thread's last error is lCode when it
// was not a table code. The text of other codes lives in storage of the calling thread and
// stays valid until that thread's next call for such a code; table names are constant.
VXINFRA_API const char* GetErrorString(LONG lCode);

// Puts the system's text for the thread's last error into sText (left unchanged when the
// system has none) and returns that error, which stays the thread's last error.
VXINFRA_API LONG GetLastErrorMsg(CVxCiString& sText);

// Shows the system's text for the thread's last error in an information box captioned with
// string uStringId of hModule (empty when missing) and returns the error; a last error of 0
// shows nothing. The last error is kept.
VXINFRA_API LONG GetLastErrorMsg(UINT uStringId, HINSTANCE hModule);

// The only call of MessageBoxA in the executable. Arabic (Saudi Arabia, 1025) and Hebrew (1037)
// read right to left; wLangId 0 stands for the system's default language, and then every Arabic
// or Hebrew variant reads right to left.
VXINFRA_API int ShowMessageBox(HWND hOwner, const char* pszText, const char* pszCaption, UINT uStyle, LANGID wLangId);

// The style ShowMessageBox passes on, given the system's default language for a zero wLangId.
VXINFRA_API UINT MessageBoxStyleFor(UINT uStyle, LANGID wLangId, LANGID wSystemLangId);

#endif
