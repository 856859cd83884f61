// Rules of the device data files' syntax that programs of this tree share with the profile
// reader, so that they cannot read a file differently from it.
#ifndef INFRASTRUCTURE_PROFILE_SYNTAX_H
#define INFRASTRUCTURE_PROFILE_SYNTAX_H

#include <cstddef>

namespace profile_syntax
{

// Cuts psz to at most cbMax bytes without splitting a double-byte character of the ANSI code
// page: how the reader shortens an over-long section name.
void CutAtCharacter(char* psz, size_t cbMax);

}  // namespace profile_syntax

#endif
