#include "support/allocation_failure.h"

#include <windows.h>

#include <cstdlib>
#include <new>

namespace
{

volatile LONG g_lAllocationsLeft = 0;
volatile DWORD g_dwArmedThread = 0;

}  // namespace

namespace vxtest
{

void ArmAllocationFailure(long n)
{
    g_lAllocationsLeft = n;
    g_dwArmedThread = GetCurrentThreadId();
}

bool DisarmAllocationFailure()
{
    g_dwArmedThread = 0;
    const bool fFired = g_lAllocationsLeft == 0;
    g_lAllocationsLeft = 0;
    return fFired;
}

}  // namespace vxtest

void* operator new(size_t cb)
{
    if (g_dwArmedThread == GetCurrentThreadId() && g_lAllocationsLeft > 0 &&
        InterlockedDecrement(&g_lAllocationsLeft) == 0)
        throw std::bad_alloc();
    void* pv = std::malloc(cb ? cb : 1);
    if (!pv) throw std::bad_alloc();
    return pv;
}

void operator delete(void* pv) noexcept { std::free(pv); }
void operator delete(void* pv, size_t) noexcept { std::free(pv); }
