#pragma once

#include <QString>
#include <QStringView>
#include <array>
#include <optional>

/// True for the text of one octet as it may stand in an address field while
/// it is typed: empty, or one to three decimal digits worth 0 to 255
/// (leading zeros allowed, read as decimal).
bool isOctetText(QStringView text);

/// The four octet texts, as written, of a text made of four complete octets
/// joined by "."; nothing for any other text (letters, signs, blanks, a
/// missing or empty octet, more than three dots, an octet above 255).
std::optional<std::array<QString, 4>> splitDottedOctets(QStringView text);
