// Whether a file or folder is there: the one check that the library and the Glue's vocabulary
// share.
#ifndef INFRASTRUCTURE_FILE_PRESENCE_H
#define INFRASTRUCTURE_FILE_PRESENCE_H

#include <windows.h>

#include <string>

#include "vx_owners.h"

// As FindFirstFile finds it; a path that ends in a backslash names a folder, which is there
// when it can be listed. False for an empty path.
inline bool IsPathPresent(const char* pszPath)
{
    std::string sPattern = pszPath;
    if (sPattern.empty()) return false;
    if (sPattern[sPattern.size() - 1] == '\\') sPattern += '*';
    WIN32_FIND_DATAA tFind;
    const CUniqueFind find(FindFirstFileA(sPattern.c_str(), &tFind));
    return find.IsValid();
}

#endif
