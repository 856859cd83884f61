// Text helpers shared by the device model units (not exported).
#ifndef INFRASTRUCTURE_MODEL_TEXT_H
#define INFRASTRUCTURE_MODEL_TEXT_H

#include <windows.h>

#include <string>

// Upper-cases the ASCII letters of a byte string; both bytes of a double-byte character are
// stepped over, so a trail byte that looks like a letter is left alone.
template <class TString>
void MakeUpperAscii(TString& sText)
{
    for (size_t i = 0; i < sText.size(); ++i)
    {
        const BYTE b = static_cast<BYTE>(sText[i]);
        if (IsDBCSLeadByte(b) && i + 1 < sText.size())
        {
            ++i;
            continue;
        }
        if (b >= 'a' && b <= 'z') sText[i] = static_cast<char>(b - 'a' + 'A');
    }
}

#endif
