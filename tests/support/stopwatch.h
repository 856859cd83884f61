// The benchmarks' clock: the high-resolution counter since construction.
#ifndef TESTS_SUPPORT_STOPWATCH_H
#define TESTS_SUPPORT_STOPWATCH_H

#include <windows.h>

namespace vxtest
{

class Stopwatch
{
public:
    Stopwatch() { QueryPerformanceCounter(&m_liStart); }
    double Seconds() const
    {
        LARGE_INTEGER liNow, liFrequency;
        QueryPerformanceCounter(&liNow);
        QueryPerformanceFrequency(&liFrequency);
        return static_cast<double>(liNow.QuadPart - m_liStart.QuadPart) / static_cast<double>(liFrequency.QuadPart);
    }
    double Milliseconds() const { return 1000.0 * Seconds(); }

private:
    LARGE_INTEGER m_liStart;
};

}  // namespace vxtest

#endif
