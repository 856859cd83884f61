// Which Windows runs: one version record per process, filled on first use.
#ifndef INFRASTRUCTURE_OS_VERSION_H
#define INFRASTRUCTURE_OS_VERSION_H

#include <windows.h>

#include "infrastructure/ci_string.h"
#include "infrastructure/vxinfra_api.h"

VXINFRA_API unsigned IsNT();
VXINFRA_API unsigned IsNT4();
VXINFRA_API unsigned IsW2K();
VXINFRA_API unsigned IsXP();
VXINFRA_API unsigned IsXP_64();
VXINFRA_API unsigned IsWin2003();
VXINFRA_API unsigned IsWin2003_64();
VXINFRA_API unsigned Is64BitOS();
VXINFRA_API unsigned IsPreXP();
VXINFRA_API unsigned Is9X();
VXINFRA_API unsigned Is95();
VXINFRA_API unsigned Is98();
VXINFRA_API unsigned IsMe();
VXINFRA_API unsigned Is98Gold();
VXINFRA_API unsigned Is98SE();
VXINFRA_API unsigned GetServicePack();
VXINFRA_API CVxCiString GetOSVersion();
VXINFRA_API CVxCiString GetOSNumbers();
VXINFRA_API CVxCiString GetOSName();

// The process's version record after the workstation adjustment (5.2 workstation reads 5.1).
VXINFRA_API const OSVERSIONINFOEXA& GetOSVersionRecord();

#endif
