#include "systemmemory.h"

#include <algorithm>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace Model {

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

qint64 assumedBytes = 0;

} // namespace

qint64 physicalMemoryBytes()
{
    if (assumedBytes > 0)
        return assumedBytes;
    static const qint64 bytes = [] {
        const qint64 reported = askSystem();
        return reported > 0 ? reported : UnknownMemoryBytes;
    }();
    return bytes;
}

void assumePhysicalMemoryBytes(qint64 bytes)
{
    assumedBytes = std::max<qint64>(bytes, 0);
}

bool fitsInMemory(double bytes)
{
    return bytes <= double(physicalMemoryBytes());
}

} // namespace Model
