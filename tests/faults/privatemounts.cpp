#include "privatemounts.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

using namespace Qt::StringLiterals;

namespace {

QString failure(const QString &what)
{
    return what + u": "_s + QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString enterPrivateMountNamespace()
{
    if (unshare(CLONE_NEWNS) != 0)
        return failure(u"unshare(CLONE_NEWNS)"_s);
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return failure(u"making the mounts private"_s);
    return {};
}

QString mountTmpfs(const QString &folder, const QString &options)
{
    if (mount("corvane-faults", QFile::encodeName(folder).constData(), "tmpfs", 0,
              options.toLatin1().constData()) != 0)
        return failure(u"mounting a tmpfs on "_s + folder);
    return {};
}

QString bindReadOnly(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    if (mount(native.constData(), native.constData(), nullptr, MS_BIND, nullptr) != 0)
        return failure(u"bind-mounting "_s + path);
    if (mount(nullptr, native.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        return failure(u"making "_s + path + u" read-only"_s);
    return {};
}

QString unmount(const QString &path)
{
    if (umount2(QFile::encodeName(path).constData(), MNT_DETACH) != 0)
        return failure(u"unmounting "_s + path);
    return {};
}
