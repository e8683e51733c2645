#pragma once

#include <QList>
#include <QString>

/// One slot of the IP Number List: the IP Number text exactly as typed
/// (never checked, trimmed or normalised) and its free-text description.
struct IpListEntry
{
    QString ipNumber;
    QString description;

    friend bool operator==(const IpListEntry &, const IpListEntry &) = default;
};

/// The list always has this many slots; slot n is row n of the window's grid.
inline constexpr int kIpListSlotCount = 100;
