#include "folderaccess.h"

#include <QFile>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

bool canEnterFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QByteArray native = QFile::encodeName(path);
    DIR *folder = opendir(native.constData());
    if (!folder)
        return false;
    closedir(folder);
    return faccessat(AT_FDCWD, native.constData(), X_OK, AT_EACCESS) == 0;
}
