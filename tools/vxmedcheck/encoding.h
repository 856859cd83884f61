// The encodings editors save a file in that the reader does not read: UTF-16 in either byte
// order, with or without a byte-order mark, a UTF-8 byte-order mark, and UTF-8 characters. The
// reader takes every file as ANSI bytes, so each shows only through its consequences; the
// checker names the cause once instead.
#ifndef VXMEDCHECK_ENCODING_H
#define VXMEDCHECK_ENCODING_H

#include <cstddef>
#include <string>

#include "findings.h"

namespace medcheck
{

enum EEncodingVerdict
{
    eEncodingAnsi,       // nothing to say
    eEncodingWarned,     // a warning: the reader reads the file as meant, or nearly
    eEncodingUnreadable  // an error: the reader loses what the file means; nothing more is said of it
};

// Looks at a file's bytes and reports what it finds as one finding on line 1. *pcbMark is the
// length of a byte-order mark that the reader ignores with its line, which a scan of the
// file's lines then passes over (0 otherwise).
EEncodingVerdict CheckEncoding(const std::string& sBytes, const std::string& sName, FindingList& findings,
                               size_t* pcbMark);

}  // namespace medcheck

#endif
