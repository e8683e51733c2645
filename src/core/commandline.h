#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

/// One word of a command line after its quotes were removed.
struct CommandWord
{
    QString text;
    bool quoted = false; ///< some part of the word was quoted or escaped
};

/// Splits a command line into words the way a POSIX shell tokenises one, but
/// without any expansion or special character: blanks separate words; "..."
/// quotes (with \" \` \$ \\ as escapes), '...' quotes literally, and a
/// backslash outside quotes takes the next character literally. This is also
/// the quoting of the Exec key of desktop entries. Nothing when a quote is
/// left open.
std::optional<QList<CommandWord>> splitCommandLine(QStringView line);
