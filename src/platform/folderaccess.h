#pragma once

#include <QString>

/// True when @p path is a folder this process may list and enter, judged by
/// the identity it uses for file access (so also right for root).
bool canEnterFolder(const QString &path);
