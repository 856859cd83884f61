// Rules of the device data files' syntax that programs of this tree share with the profile
// reader, so that they cannot read a file differently from it.
#ifndef INFRASTRUCTURE_PROFILE_SYNTAX_H
#define INFRASTRUCTURE_PROFILE_SYNTAX_H

#include <cstddef>

namespace profile_syntax
{

// A physical line is read in pieces of at most this many bytes (its LF included), each a line.
const size_t kMaxLine = 999;
// Section names are kept up to this many bytes.
const size_t kMaxSectionName = 249;

// Cuts psz to at most cbMax bytes without splitting a double-byte character of the ANSI code
// page: how the reader shortens an over-long section name.
void CutAtCharacter(char* psz, size_t cbMax);

}  // namespace profile_syntax

#endif
