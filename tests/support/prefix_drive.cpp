#include "support/prefix_drive.h"

#include <winioctl.h>

#include <cstring>
#include <vector>

namespace vxtest
{

namespace
{

struct UnixDrive  // the mount manager's request, as Wine 8 defines it
{
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point_offset;
    USHORT device_offset;
    USHORT label_offset;
};

bool Define(char chLetter, ULONG ulType, const char* pszMountPoint)
{
    HANDLE hManager = CreateFileA("\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (hManager == INVALID_HANDLE_VALUE) return false;
    std::vector<char> request(sizeof(UnixDrive) + MAX_PATH, '\0');
    UnixDrive* pDrive = reinterpret_cast<UnixDrive*>(&request[0]);
    pDrive->type = ulType;
    pDrive->letter = static_cast<WCHAR>(chLetter);
    pDrive->size = sizeof(UnixDrive);
    if (pszMountPoint && std::strlen(pszMountPoint) < MAX_PATH)
    {
        pDrive->mount_point_offset = sizeof(UnixDrive);
        std::strcpy(&request[sizeof(UnixDrive)], pszMountPoint);
        pDrive->size += static_cast<ULONG>(std::strlen(pszMountPoint) + 1);
    }
    const DWORD dwDefine = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    DWORD cbReturned = 0;
    const BOOL fOk = DeviceIoControl(hManager, dwDefine, &request[0], pDrive->size, NULL, 0, &cbReturned, NULL);
    CloseHandle(hManager);
    return fOk != FALSE;
}

}  // namespace

PrefixDrive::PrefixDrive(UINT uType, const std::string& sUnixFolder) : m_chLetter(0), m_fDefined(false)
{
    const DWORD dwDrives = GetLogicalDrives();
    for (char c = 'r'; c <= 'y' && !m_chLetter; ++c)
    {
        if (!(dwDrives & (1UL << (c - 'a'))) && Define(c, uType, sUnixFolder.c_str())) m_chLetter = c;
    }
    m_fDefined = m_chLetter != 0;
}

PrefixDrive::~PrefixDrive() { Remove(); }

std::string PrefixDrive::DevicePath() const
{
    const char szDrive[3] = {m_chLetter, ':', '\0'};
    char szPath[MAX_PATH] = {0};
    return QueryDosDeviceA(szDrive, szPath, sizeof(szPath)) ? szPath : "";
}

bool PrefixDrive::Remove()
{
    if (!m_fDefined) return true;
    m_fDefined = !Define(m_chLetter, DRIVE_NO_ROOT_DIR, NULL);
    return !m_fDefined;
}

}  // namespace vxtest
