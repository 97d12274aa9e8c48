#pragma once

// Failing writes for the tests of code that writes files.

#include <csignal>
#include <sys/resource.h>

namespace TestSupport {

// Makes the kernel refuse to grow any file of this process past bytes, as a
// full disk refuses it: the write fails (EFBIG where a full disk gives
// ENOSPC) at whatever point the file reaches the limit. /dev/full cannot
// stand in for files that are created new beside their destination and
// renamed into place (exports, saved scenes); permission bits cannot either,
// since the tests may run as root. Files already written stay as they are.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        // Past the limit the kernel would otherwise end the process.
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }

private:
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
};

} // namespace TestSupport
