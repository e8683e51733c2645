#include "desktopentry.h"

#include "commandline.h"

#include <QFile>

using namespace Qt::StringLiterals;

std::optional<DesktopEntry> DesktopEntry::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // A desktop file is a few hundred bytes; anything huge is not one.
    constexpr qint64 MaxSize = 1 << 20;
    return parse(file.read(MaxSize));
}

std::optional<DesktopEntry> DesktopEntry::parse(const QByteArray &contents)
{
    DesktopEntry entry;
    bool inMainGroup = false;
    bool sawMainGroup = false;
    const QString text = QString::fromUtf8(contents);
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (sawMainGroup && inMainGroup)
                break;
            inMainGroup = line == u"[Desktop Entry]";
            sawMainGroup = sawMainGroup || inMainGroup;
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed().toString();
        if (!entry.m_values.contains(key))
            entry.m_values.insert(key, unescapeValue(line.mid(equals + 1).trimmed()));
    }
    if (!sawMainGroup)
        return std::nullopt;
    return entry;
}

QString DesktopEntry::value(const QString &key) const
{
    return m_values.value(key);
}

bool DesktopEntry::isHidden() const
{
    return value(u"Hidden"_s) == u"true";
}

std::optional<QStringList> DesktopEntry::commandFor(const QString &target) const
{
    if (!contains(u"Exec"_s))
        return std::nullopt;
    return expandExec(value(u"Exec"_s), target);
}

std::optional<QStringList> DesktopEntry::expandExec(const QString &exec, const QString &target)
{
    const std::optional<QList<CommandWord>> words = splitCommandLine(exec);
    if (!words || words->isEmpty())
        return std::nullopt;
    const CommandWord &program = words->first();
    if (program.text.isEmpty() || (!program.quoted && program.text.contains(u'%')))
        return std::nullopt;

    QStringList command{program.text};
    bool targetPlaced = false;
    for (qsizetype w = 1; w < words->size(); ++w) {
        const CommandWord &word = words->at(w);
        if (word.quoted) {
            command.append(word.text);
            continue;
        }
        QString expanded;
        bool holdsTarget = false;
        const QString &in = word.text;
        for (qsizetype i = 0; i < in.size(); ++i) {
            if (in[i] != u'%' || i + 1 >= in.size()) {
                expanded += in[i];
                continue;
            }
            const QChar code = in[++i];
            if (code == u'%') {
                expanded += u'%';
            } else if (code == u'u' || code == u'U' || code == u'f' || code == u'F') {
                if (!targetPlaced) {
                    expanded += target;
                    targetPlaced = true;
                    holdsTarget = true;
                }
            }
            // Every other field code (%i %c %k and the deprecated ones) is dropped.
        }
        if (holdsTarget || !expanded.isEmpty())
            command.append(expanded);
    }
    if (!targetPlaced)
        command.append(target);
    return command;
}

QString DesktopEntry::unescapeValue(QStringView raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != u'\\' || i + 1 >= raw.size()) {
            out += raw[i];
            continue;
        }
        const QChar next = raw[i + 1];
        if (next == u's')
            out += u' ';
        else if (next == u'n')
            out += u'\n';
        else if (next == u't')
            out += u'\t';
        else if (next == u'r')
            out += u'\r';
        else if (next == u'\\')
            out += u'\\';
        else {
            // Not a string escape: left for the Exec quoting rules to read.
            out += raw[i];
            out += next;
        }
        ++i;
    }
    return out;
}
