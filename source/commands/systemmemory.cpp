#include "systemmemory.h"

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace Commands {

namespace {

constexpr qint64 UnknownMemoryBytes = qint64(4) * 1024 * 1024 * 1024;

qint64 askSystem()
{
#if defined(Q_OS_WIN)
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    if (GlobalMemoryStatusEx(&status))
        return qint64(status.ullTotalPhys);
    return 0;
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return qint64(pages) * qint64(pageSize);
#endif
}

} // namespace

qint64 physicalMemoryBytes()
{
    static const qint64 bytes = [] {
        const qint64 reported = askSystem();
        return reported > 0 ? reported : UnknownMemoryBytes;
    }();
    return bytes;
}

bool fitsInMemory(double bytes)
{
    return bytes <= double(physicalMemoryBytes());
}

} // namespace Commands
