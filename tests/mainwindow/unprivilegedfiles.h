#pragma once

#include <sys/fsuid.h>
#include <unistd.h>

// Root reads and writes anything: while this lives, a root test's thread uses
// the file-system identity of user nobody (65534). Others keep their own.
struct UnprivilegedFiles
{
    UnprivilegedFiles() { m_wasRoot &&setfsuid(65534); }
    ~UnprivilegedFiles() { m_wasRoot &&setfsuid(0); }
    UnprivilegedFiles(const UnprivilegedFiles &) = delete;
    const bool m_wasRoot = geteuid() == 0;
};
