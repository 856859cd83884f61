// Owners of the handles, keys, locks and system-allocated blocks the code closes: one template
// parameterised by the handle type, its close function and its empty value. Internal to this
// tree; no exported class declares one.
//
// Every owner is move-only. Closing keeps the thread's last error, because callers read it
// after the owner has gone (the printer class reports through it, for one). A handle is closed
// only when it is neither NULL nor INVALID_HANDLE_VALUE, whichever of the two the type calls
// empty, so an owner never closes the pseudo-handle -1 or NULL by mistake.
#ifndef INFRASTRUCTURE_VX_OWNERS_H
#define INFRASTRUCTURE_VX_OWNERS_H

#include <windows.h>
#include <winspool.h>

// Sets the thread's last error back to what it was when the keeper was made.
class CLastErrorKeeper
{
public:
    CLastErrorKeeper() : m_dwError(GetLastError()) {}
    ~CLastErrorKeeper() { SetLastError(m_dwError); }
    CLastErrorKeeper(const CLastErrorKeeper&) = delete;
    CLastErrorKeeper& operator=(const CLastErrorKeeper&) = delete;

private:
    DWORD m_dwError;
};

// Traits: Handle, Empty() (the value of an owner that holds nothing) and Close(handle).
template <typename Traits>
class CUniqueAny
{
public:
    typedef typename Traits::Handle Handle;

    CUniqueAny() : m_h(Traits::Empty()) {}
    explicit CUniqueAny(Handle h) : m_h(h) {}
    CUniqueAny(CUniqueAny&& other) noexcept : m_h(other.Release()) {}
    CUniqueAny& operator=(CUniqueAny&& other) noexcept
    {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ~CUniqueAny() { Reset(); }
    CUniqueAny(const CUniqueAny&) = delete;
    CUniqueAny& operator=(const CUniqueAny&) = delete;

    Handle Get() const { return m_h; }
    bool IsValid() const { return IsOpen(m_h); }

    // Closes what is held (keeping the last error) and holds h instead.
    void Reset(Handle h = Traits::Empty())
    {
        if (IsOpen(m_h))
        {
            CLastErrorKeeper keep;
            Traits::Close(m_h);
        }
        m_h = h;
    }

    // Gives up the handle without closing it.
    Handle Release()
    {
        const Handle h = m_h;
        m_h = Traits::Empty();
        return h;
    }

    // For a call that returns a new handle through an out-parameter: what is held is closed
    // first.
    Handle* Put()
    {
        Reset();
        return &m_h;
    }

private:
    static bool IsOpen(Handle h)
    {
        return h != Traits::Empty() && h != Handle() &&
               reinterpret_cast<void*>(h) != reinterpret_cast<void*>(INVALID_HANDLE_VALUE);
    }

    Handle m_h;
};

namespace owner_traits
{

struct RegKey
{
    typedef HKEY Handle;
    static HKEY Empty() { return NULL; }
    static void Close(HKEY h) { RegCloseKey(h); }
};

struct KernelHandle
{
    typedef HANDLE Handle;
    static HANDLE Empty() { return NULL; }
    static void Close(HANDLE h) { CloseHandle(h); }
};

struct FileHandle
{
    typedef HANDLE Handle;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { CloseHandle(h); }
};

struct FindHandle
{
    typedef HANDLE Handle;
    static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { FindClose(h); }
};

struct PrinterHandle
{
    typedef HANDLE Handle;
    static HANDLE Empty() { return NULL; }
    static void Close(HANDLE h) { ClosePrinter(h); }
};

struct Module
{
    typedef HMODULE Handle;
    static HMODULE Empty() { return NULL; }
    static void Close(HMODULE h) { FreeLibrary(h); }
};

template <typename T>
struct LocalBlock
{
    typedef T* Handle;
    static T* Empty() { return NULL; }
    static void Close(T* p) { LocalFree(p); }
};

}  // namespace owner_traits

typedef CUniqueAny<owner_traits::RegKey> CUniqueRegKey;
typedef CUniqueAny<owner_traits::KernelHandle> CUniqueHandle;  // events, mutexes, processes: NULL is empty
typedef CUniqueAny<owner_traits::FileHandle> CUniqueFile;      // CreateFile: INVALID_HANDLE_VALUE is empty
typedef CUniqueAny<owner_traits::FindHandle> CUniqueFind;      // FindFirstFile
typedef CUniqueAny<owner_traits::PrinterHandle> CUniquePrinter;
typedef CUniqueAny<owner_traits::Module> CUniqueModule;        // LoadLibrary
typedef CUniqueAny<owner_traits::LocalBlock<char> > CUniqueLocalText;  // FormatMessage's buffers

// Holds a critical section for a scope.
class CCriticalSectionLock
{
public:
    explicit CCriticalSectionLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
    ~CCriticalSectionLock() { LeaveCriticalSection(&m_cs); }
    CCriticalSectionLock(const CCriticalSectionLock&) = delete;
    CCriticalSectionLock& operator=(const CCriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};

#endif
