#include "settingsfileformat.h"

#include <QIODevice>
#include <QMap>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The escapes of one character: the letter after "\" and the character it
// stands for. The writer uses the first nine; the reader takes all.
constexpr char16_t kEscapes[][2] = {{u'\\', u'\\'}, {u'"', u'"'},   {u'a', u'\a'}, {u'b', u'\b'},
                                    {u'f', u'\f'},  {u'n', u'\n'},  {u'r', u'\r'}, {u't', u'\t'},
                                    {u'v', u'\v'},  {u'\'', u'\''}, {u'?', u'?'},  {u';', u';'},
                                    {u',', u','}};
constexpr int kWrittenEscapes = 9;

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The value of the @p count hex digits at @p pos of @p text, or -1.
int hexAt(QStringView text, qsizetype pos, qsizetype count)
{
    if (pos + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = pos; i < pos + count; ++i) {
        const char16_t c = text[i].unicode();
        const char16_t lower = c | 0x20;
        const int digit = c >= u'0' && c <= u'9'           ? c - u'0'
                          : lower >= u'a' && lower <= u'f' ? lower - u'a' + 10
                                                           : -1;
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

QStringView trimmedBlanks(QStringView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

// Section and key names: "\" stands for "/", "%XX" and "%UXXXX" for one character.
QString unescapedName(QStringView raw)
{
    QString out;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        int value = -1;
        if (raw[i] == u'%' && raw.sliced(i + 1).startsWith(u'U') &&
            (value = hexAt(raw, i + 2, 4)) >= 0)
            i += 5;
        else if (raw[i] == u'%' && (value = hexAt(raw, i + 1, 2)) >= 0)
            i += 2;
        out += value >= 0 ? QChar(char16_t(value)) : raw[i] == u'\\' ? QChar(u'/') : raw[i];
    }
    return out;
}

void appendCodePoint(QString &out, char32_t value)
{
    if (value > 0xFFFF)
        out += QChar::fromUcs4(value);
    else
        out += QChar(char16_t(value));
}

// One value as a single text. Blanks outside quotes at either end are
// dropped; commas, ";" and "=" are ordinary characters.
QString unescapedValue(QStringView raw, bool *valid)
{
    QString out;
    QString pendingBlanks;
    bool inQuotes = false;
    bool started = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (!inQuotes && isBlank(c)) {
            pendingBlanks += c;
            continue;
        }
        if (std::exchange(started, true))
            out += pendingBlanks;
        pendingBlanks.clear();
        if (c == u'"') {
            inQuotes = !inQuotes;
        } else if (c != u'\\') {
            out += c;
        } else if (++i == raw.size()) {
            out += u'\\';
        } else if (const auto *e = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                                [&](const auto &p) { return p[0] == raw[i]; });
                   e != std::end(kEscapes)) {
            out += QChar((*e)[1]);
        } else if (raw[i] == u'x') {
            char32_t value = 0;
            qsizetype digits = 0;
            for (int digit; (digit = hexAt(raw, i + 1, 1)) >= 0; ++i, ++digits)
                value = (value << 4) | char32_t(digit);
            if (digits == 0 || digits > 6 || value > 0x10FFFF) {
                *valid = false;
                out += u"\\x"_s;
            } else {
                appendCodePoint(out, value);
            }
        } else if (raw[i] >= u'0' && raw[i] <= u'7') {
            char32_t value = raw[i].unicode() - u'0';
            while (i + 1 < raw.size() && raw[i + 1] >= u'0' && raw[i + 1] <= u'7' &&
                   value < 0x10000)
                value = (value << 3) | char32_t(raw[++i].unicode() - u'0');
            appendCodePoint(out, value);
        } else {
            // Not an escape this format writes: keep both characters as typed.
            out += u'\\';
            out += raw[i];
        }
    }
    if (out.startsWith(u"@@"))
        out.remove(0, 1);
    return out;
}

QByteArray escapedName(QStringView name)
{
    QByteArray out;
    for (const QChar ch : name) {
        const char16_t u = ch.unicode();
        if (u == u'/')
            out += '\\';
        else if (u < 0x80 && (QChar::isLetterOrNumber(u) || u == u'_' || u == u'-' || u == u'.'))
            out += char(u);
        else if (u <= 0xFF)
            out += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        else
            out += "%U" + QByteArray::number(u, 16).toUpper().rightJustified(4, '0');
    }
    return out;
}

QByteArray escapedValue(QString text)
{
    if (text.startsWith(u'@'))
        text.prepend(u'@');
    const bool quoted = (!text.isEmpty() && (text.front() == u' ' || text.back() == u' ')) ||
                        text.contains(u';') || text.contains(u',');
    QByteArray out = quoted ? "\"" : "";
    // The reader takes every hex digit after "\x", so one that follows such
    // an escape is escaped too.
    bool afterHex = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const auto *e = std::find_if(kEscapes, kEscapes + kWrittenEscapes,
                                     [&](const auto &p) { return p[1] == u; });
        if (e != kEscapes + kWrittenEscapes) {
            out += '\\' + QByteArray(1, char((*e)[0]));
            afterHex = false;
        } else if (u < 0x20 || u == 0x7F || (text[i].isSurrogate() && !pair) ||
                   (afterHex && hexAt(text, i, 1) >= 0)) {
            out += "\\x" + QByteArray::number(u, 16);
            afterHex = true;
        } else {
            out += QStringView(text).sliced(i, pair ? 2 : 1).toUtf8();
            i += pair ? 1 : 0;
            afterHex = false;
        }
    }
    return quoted ? out + '"' : out;
}

bool readSettingsDevice(QIODevice &device, QSettings::SettingsMap &map)
{
    map = parseSettingsFile(device.readAll()).values;
    return true;
}

bool writeSettingsDevice(QIODevice &device, const QSettings::SettingsMap &map)
{
    const QByteArray data = formatSettingsFile(map);
    return device.write(data) == data.size();
}

} // namespace

SettingsFileContents parseSettingsFile(const QByteArray &data)
{
    SettingsFileContents contents;
    QString prefix;
    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype number = 1; number <= lines.size(); ++number) {
        QByteArrayView bytes = lines.at(number - 1);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        const QString text = QString::fromUtf8(bytes);
        bool valid = text.toUtf8() == bytes;
        const QStringView line = trimmedBlanks(text);
        if (line.isEmpty() || line.front() == u';' || line.front() == u'#')
            continue;
        if (line.front() == u'[') {
            const qsizetype close = line.lastIndexOf(u']');
            const QStringView name = close > 0 ? line.sliced(1, close - 1) : QStringView();
            prefix = name == u"General"    ? QString()
                     : name == u"%General" ? u"General/"_s
                     : name.isEmpty()      ? QString()
                                           : unescapedName(name) + u'/';
            if (!valid || close <= 0 || close != line.size() - 1)
                contents.damagedLines.append(int(number));
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        const QString key =
            equals > 0 ? unescapedName(trimmedBlanks(line.first(equals))) : QString();
        if (!key.isEmpty())
            contents.values.insert(prefix + key, unescapedValue(line.sliced(equals + 1), &valid));
        if (key.isEmpty() || !valid)
            contents.damagedLines.append(int(number));
    }
    return contents;
}

QByteArray formatSettingsFile(const QSettings::SettingsMap &values)
{
    QMap<QString, QByteArray> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        const QString section = slash < 0 ? QString() : it.key().first(slash);
        const QString key = slash < 0 ? it.key() : it.key().sliced(slash + 1);
        sections[section] += escapedName(key) + '=' + escapedValue(it.value().toString()) + '\n';
    }
    QByteArray out;
    for (auto it = sections.cbegin(); it != sections.cend(); ++it) {
        if (!out.isEmpty())
            out += '\n';
        out += it.key().isEmpty()       ? "[General]\n"_ba
               : it.key() == u"General" ? "[%General]\n"_ba
                                        : '[' + escapedName(it.key()) + "]\n";
        out += it.value();
    }
    return out;
}

QSettings::Format corvaneSettingsFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(u"conf"_s, readSettingsDevice, writeSettingsDevice);
    return format;
}
