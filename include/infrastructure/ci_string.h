// Case-insensitive byte string and string list used for every name, path, key and value.
#ifndef INFRASTRUCTURE_CI_STRING_H
#define INFRASTRUCTURE_CI_STRING_H

#include <windows.h>

#include <cctype>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "infrastructure/vxinfra_api.h"

// Characters compare after the C library's upper-case conversion, so ordering and search
// ignore letter case; a string that is a prefix of another sorts first.
struct CVxCiCharTraits : public std::char_traits<char>
{
    static char Upper(char c)
    {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    static bool eq(char a, char b) { return Upper(a) == Upper(b); }
    static bool lt(char a, char b)
    {
        return static_cast<unsigned char>(Upper(a)) < static_cast<unsigned char>(Upper(b));
    }
    static int compare(const char* a, const char* b, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i)
        {
            if (lt(a[i], b[i])) return -1;
            if (lt(b[i], a[i])) return 1;
        }
        return 0;
    }
    static const char* find(const char* s, std::size_t n, char c)
    {
        for (std::size_t i = 0; i < n; ++i)
        {
            if (eq(s[i], c)) return s + i;
        }
        return nullptr;
    }
};

typedef std::basic_string<char, CVxCiCharTraits> CVxCiStringBase;

// The case-insensitive string. It is a std::basic_string in all but its traits, plus the
// localized-string loaders, which fill the string itself.
class CVxCiString : public CVxCiStringBase
{
public:
    using CVxCiStringBase::CVxCiStringBase;
    CVxCiString() {}
    CVxCiString(const CVxCiStringBase& s) : CVxCiStringBase(s) {}
    CVxCiString(CVxCiStringBase&& s) : CVxCiStringBase(std::move(s)) {}
    CVxCiString(const std::string& s) : CVxCiStringBase(s.c_str(), s.size()) {}

    // String uId of hModule's string table (null: the program's own file) in language wLangId.
    VXINFRA_API BOOL LoadLocalizedString(HMODULE hModule, UINT uId, WORD wLangId);
    // The same in the language the language map names pszLanguageName (null: the user's).
    VXINFRA_API BOOL LoadLocalizedString(HMODULE hModule, UINT uId, const char* pszLanguageName);
};

// An ordered list of case-insensitive strings (model names, data files, INF files, languages).
typedef std::vector<CVxCiString> CVxCiStringList;

inline CVxCiString ToCi(const std::string& s) { return CVxCiString(s.c_str(), s.size()); }
inline std::string ToStd(const CVxCiString& s) { return std::string(s.c_str(), s.size()); }

#endif
