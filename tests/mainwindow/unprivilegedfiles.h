#pragma once

#include <sys/fsuid.h>
#include <unistd.h>

// Root may read, write and enter anything; to see permissions refused, a test
// takes an unprivileged file-system identity for its own thread while this
// object lives. For other users the permission bits already apply.
class UnprivilegedFiles
{
public:
    UnprivilegedFiles()
        : m_wasRoot(geteuid() == 0)
    {
        if (m_wasRoot)
            setfsuid(kNobody);
    }
    ~UnprivilegedFiles()
    {
        if (m_wasRoot)
            setfsuid(0);
    }
    UnprivilegedFiles(const UnprivilegedFiles &) = delete;
    UnprivilegedFiles &operator=(const UnprivilegedFiles &) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    bool m_wasRoot;
};
