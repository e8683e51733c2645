#pragma once

#include <QString>

/// The walk over a range of IP Numbers, done on the address text itself.
///
/// slot[0] to slot[3] hold the four octet texts, most significant first;
/// slot[4] holds the joined text of the current address. An octet text stays
/// exactly as it was split until a step changes it; a changed octet is
/// rewritten in plain decimal.
struct OctetSlots
{
    QString slot[5];
    /// The numeric value of the fourth octet. 256 means "the walk ends".
    qint16 walkCounter = 0;
};

/// Splits @p text at its first three dots into slot[0] to slot[3] (dots after
/// the third belong to the fourth octet) and sets the walk counter. slot[4]
/// gets @p text itself.
///
/// A text that cannot be walked safely sets the counter to 256, so that the
/// walk ends after the start address: fewer than three dots, or one of the
/// first three octets above 255 (the carry only recognises "256", so such an
/// octet would climb without end). A fourth octet above 255, however large,
/// also gives 256.
void splitIpNumber(const QString &text, OctetSlots &walk);

/// Steps to the next address: slot[4] and the octet slots hold it afterwards.
/// Returns false, changing nothing, when the walk counter was already 256 or
/// more. "255.255.255.255" wraps to "0.0.0.0".
bool nextIpNumber(OctetSlots &walk);

/// True when @p current is at or beyond @p stopReference in address order,
/// octet by octet, each octet counting by its leading decimal digits.
///
/// A blank stop reference (empty after trimming spaces) is lower than every
/// address, and so is one that is not four dotted octets of 0 to 255 (spaces
/// around the whole text aside): both give true.
bool ipNumberReached(const QString &current, const QString &stopReference);

/// True for the text "255.255.255.255" exactly.
bool isLastIpNumber(const QString &text);

/// The end tests of a walk, in order: ipNumberReached, then isLastIpNumber.
bool walkEnds(const QString &current, const QString &stopReference);
