#pragma once

#include <QString>

// Mounts for fault tests, in a mount namespace of the test's own. Root can
// write through any file permission, so a read-only bind mount or a small
// tmpfs is the sure way to make writes fail. Each returns the empty text on
// success, else what went wrong.

/// Moves this process into a private mount namespace; call once, before threads start.
QString enterPrivateMountNamespace();
/// Mounts a tmpfs of @p options (e.g. "size=16k") over @p folder.
QString mountTmpfs(const QString &folder, const QString &options);
/// Makes @p path (a file or a folder) read-only where it is.
QString bindReadOnly(const QString &path);
/// Undoes the topmost mount on @p path.
QString unmount(const QString &path);
