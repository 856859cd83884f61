// A drive letter of the Wine prefix for the object's life, of a chosen type, defined as the
// prefix's drive configuration defines one (Wine's mount manager). Machine state: tests that
// use it run one at a time.
#ifndef VXTEST_PREFIX_DRIVE_H
#define VXTEST_PREFIX_DRIVE_H

#include <windows.h>

#include <string>

namespace vxtest
{

class PrefixDrive
{
public:
    // uType: DRIVE_REMOVABLE, DRIVE_CDROM...; sUnixFolder: the folder the drive shows. The
    // first free letter from R: on; Letter() is 0 when none could be defined.
    PrefixDrive(UINT uType, const std::string& sUnixFolder);
    ~PrefixDrive();

    char Letter() const { return m_chLetter; }  // kept after Remove()
    std::string Root() const { return std::string(1, m_chLetter) + ":\\"; }
    std::string DevicePath() const;
    // Takes the drive away now, as an ejected disc; true when it is gone.
    bool Remove();

private:
    PrefixDrive(const PrefixDrive&);
    PrefixDrive& operator=(const PrefixDrive&);
    char m_chLetter;
    bool m_fDefined;
};

}  // namespace vxtest

#endif
