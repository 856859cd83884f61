#include "profile_syntax.h"

#include <windows.h>

#include "infrastructure/ci_string.h"

const CProfileBytes& CProfileBytes::Get()
{
    static const CProfileBytes s_bytes;
    return s_bytes;
}

CProfileBytes::CProfileBytes() : m_fAnyLead(false)
{
    for (int i = 0; i < 256; ++i)
    {
        m_upper[i] = static_cast<unsigned char>(CVxCiCharTraits::Upper(static_cast<char>(i)));
        m_lead[i] = IsDBCSLeadByte(static_cast<BYTE>(i)) != FALSE;
        m_fAnyLead = m_fAnyLead || m_lead[i];
    }
}
