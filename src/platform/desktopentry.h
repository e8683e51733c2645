#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

/// The [Desktop Entry] group of a .desktop file, as far as starting the
/// application with one target goes.
class DesktopEntry
{
public:
    /// Reads a desktop file; nothing when it cannot be read or has no
    /// [Desktop Entry] group.
    static std::optional<DesktopEntry> load(const QString &path);
    /// Nothing when @p contents has no [Desktop Entry] group.
    static std::optional<DesktopEntry> parse(const QByteArray &contents);

    /// The value of @p key with the string escapes (\s \n \t \r \\) resolved;
    /// the empty text when the key is missing.
    QString value(const QString &key) const;
    bool contains(const QString &key) const { return m_values.contains(key); }
    /// Hidden=true: the entry counts as deleted.
    bool isHidden() const;

    /// The program and its arguments that open @p target, from the Exec key.
    std::optional<QStringList> commandFor(const QString &target) const;

    /// Expands an Exec value: %u %U %f %F become @p target as one argument
    /// (the first of them only), other field codes are dropped and %% is a
    /// percent sign. Words in quotes are taken as written, so a target never
    /// lands inside a quoted text that some program would parse again. With
    /// no target field code the target is appended. Nothing when the value
    /// is malformed (open quote, no program, a field code as the program).
    static std::optional<QStringList> expandExec(const QString &exec, const QString &target);
    static QString unescapeValue(QStringView raw);

private:
    QHash<QString, QString> m_values;
};
