#include "settingsfileformat.h"

#include <QIODevice>
#include <QMap>

using namespace Qt::StringLiterals;

namespace {

bool isHexDigit(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

void appendCodePoint(QString &out, char32_t value)
{
    if (value > 0xFFFF)
        out += QChar::fromUcs4(value);
    else
        out += QChar(static_cast<char16_t>(value));
}

// Collects plain bytes and decodes them as UTF-8 when an escape or the end
// interrupts them; remembers whether any of them were not valid UTF-8.
class Utf8Run
{
public:
    void add(char c) { m_bytes += c; }
    void flushInto(QString &out)
    {
        if (m_bytes.isEmpty())
            return;
        const QString decoded = QString::fromUtf8(m_bytes);
        if (decoded.toUtf8() != m_bytes)
            m_invalid = true;
        out += decoded;
        m_bytes.clear();
    }
    bool invalid() const { return m_invalid; }

private:
    QByteArray m_bytes;
    bool m_invalid = false;
};

// Section and key names: "\" stands for "/", "%XX" and "%UXXXX" for one character.
QString unescapedName(QByteArrayView raw, bool *valid)
{
    QString out;
    Utf8Run run;
    const qsizetype size = raw.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = raw[i];
        if (c == '\\') {
            run.flushInto(out);
            out += u'/';
        } else if (c == '%' && i + 5 < size && raw[i + 1] == 'U' && isHexDigit(raw[i + 2]) &&
                   isHexDigit(raw[i + 3]) && isHexDigit(raw[i + 4]) && isHexDigit(raw[i + 5])) {
            run.flushInto(out);
            const int value = (hexValue(raw[i + 2]) << 12) | (hexValue(raw[i + 3]) << 8) |
                              (hexValue(raw[i + 4]) << 4) | hexValue(raw[i + 5]);
            out += QChar(static_cast<char16_t>(value));
            i += 5;
        } else if (c == '%' && i + 2 < size && isHexDigit(raw[i + 1]) && isHexDigit(raw[i + 2])) {
            run.flushInto(out);
            out += QChar(static_cast<char16_t>((hexValue(raw[i + 1]) << 4) | hexValue(raw[i + 2])));
            i += 2;
        } else {
            run.add(c);
        }
    }
    run.flushInto(out);
    *valid = !run.invalid();
    return out;
}

// One value as a single text. Blanks outside quotes at either end are
// dropped; commas, ";" and "=" are ordinary characters.
QString unescapedValue(QByteArrayView raw, bool *valid)
{
    QString out;
    QString pendingBlanks;
    Utf8Run run;
    bool inQuotes = false;
    bool started = false;
    const qsizetype size = raw.size();

    const auto content = [&] {
        if (started)
            out += pendingBlanks;
        pendingBlanks.clear();
        started = true;
    };

    for (qsizetype i = 0; i < size; ++i) {
        const char c = raw[i];
        if (c == '"') {
            run.flushInto(out);
            content();
            inQuotes = !inQuotes;
            continue;
        }
        if (!inQuotes && isBlank(c)) {
            run.flushInto(out);
            pendingBlanks += QLatin1Char(c);
            continue;
        }
        if (c != '\\') {
            content();
            run.add(c);
            continue;
        }
        run.flushInto(out);
        content();
        if (i + 1 >= size) {
            out += u'\\';
            break;
        }
        const char e = raw[++i];
        switch (e) {
        case 'a':
            out += u'\a';
            break;
        case 'b':
            out += u'\b';
            break;
        case 'f':
            out += u'\f';
            break;
        case 'n':
            out += u'\n';
            break;
        case 'r':
            out += u'\r';
            break;
        case 't':
            out += u'\t';
            break;
        case 'v':
            out += u'\v';
            break;
        case '"':
        case '\'':
        case '?':
        case '\\':
        case ';':
        case ',':
            out += QLatin1Char(e);
            break;
        case 'x': {
            char32_t value = 0;
            qsizetype digits = 0;
            while (i + 1 < size && isHexDigit(raw[i + 1])) {
                value = (value << 4) | static_cast<char32_t>(hexValue(raw[++i]));
                if (++digits > 6)
                    *valid = false;
            }
            if (digits == 0 || value > 0x10FFFF) {
                *valid = false;
                out += u"\\x"_s;
            } else {
                appendCodePoint(out, value);
            }
            break;
        }
        default:
            if (e >= '0' && e <= '7') {
                char32_t value = static_cast<char32_t>(e - '0');
                while (i + 1 < size && raw[i + 1] >= '0' && raw[i + 1] <= '7' && value < 0x10000)
                    value = (value << 3) | static_cast<char32_t>(raw[++i] - '0');
                appendCodePoint(out, value);
            } else {
                // Not an escape this format writes: keep both characters as typed.
                out += u'\\';
                run.add(e);
            }
            break;
        }
    }
    run.flushInto(out);
    if (run.invalid())
        *valid = false;
    if (out.startsWith(u"@@"))
        out.remove(0, 1);
    return out;
}

QByteArray escapedName(QStringView name)
{
    QByteArray out;
    for (const QChar ch : name) {
        const char16_t u = ch.unicode();
        if (u == u'/') {
            out += '\\';
        } else if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                   (u >= u'0' && u <= u'9') || u == u'_' || u == u'-' || u == u'.') {
            out += static_cast<char>(u);
        } else if (u <= 0xFF) {
            out += '%' + QByteArray::number(u, 16).toUpper().rightJustified(2, '0');
        } else {
            out += "%U" + QByteArray::number(u, 16).toUpper().rightJustified(4, '0');
        }
    }
    return out;
}

QByteArray escapedValue(const QString &value)
{
    QString text = value;
    if (text.startsWith(u'@'))
        text.prepend(u'@');

    const bool needsQuotes = (!text.isEmpty() && (text.front() == u' ' || text.back() == u' ')) ||
                             text.contains(u';') || text.contains(u',');
    QByteArray out;
    if (needsQuotes)
        out += '"';

    bool hexJustWritten = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar ch = text.at(i);
        const char16_t u = ch.unicode();
        const bool pairStart =
            ch.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate();
        const auto hexEscape = [&] {
            out += "\\x" + QByteArray::number(u, 16);
            hexJustWritten = true;
        };
        switch (u) {
        case u'\\':
            out += "\\\\";
            break;
        case u'"':
            out += "\\\"";
            break;
        case u'\a':
            out += "\\a";
            break;
        case u'\b':
            out += "\\b";
            break;
        case u'\f':
            out += "\\f";
            break;
        case u'\n':
            out += "\\n";
            break;
        case u'\r':
            out += "\\r";
            break;
        case u'\t':
            out += "\\t";
            break;
        case u'\v':
            out += "\\v";
            break;
        default:
            if (u < 0x20 || u == 0x7F || (ch.isSurrogate() && !pairStart)) {
                hexEscape();
                continue;
            }
            // The reader takes every hex digit after "\x", so one that
            // follows such an escape is escaped too.
            if (hexJustWritten && isHexDigit(u)) {
                hexEscape();
                continue;
            }
            if (pairStart) {
                out += QStringView(text).sliced(i, 2).toUtf8();
                ++i;
            } else {
                out += QStringView(&ch, 1).toUtf8();
            }
            break;
        }
        hexJustWritten = false;
    }
    if (needsQuotes)
        out += '"';
    return out;
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
    int lineNumber = 0;
    const QByteArrayView all(data);
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        QByteArrayView line = all.sliced(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.endsWith('\r'))
            line.chop(1);
        line = trimmedBlanks(line);
        if (line.isEmpty() || line.front() == ';' || line.front() == '#')
            continue;

        if (line.front() == '[') {
            const qsizetype close = line.lastIndexOf(']');
            bool valid = close > 0;
            const QByteArrayView raw = valid ? line.sliced(1, close - 1) : QByteArrayView();
            if (raw == "General") {
                prefix.clear();
            } else if (raw == "%General") {
                prefix = u"General/"_s;
            } else {
                bool nameValid = true;
                const QString name = unescapedName(raw, &nameValid);
                prefix = name.isEmpty() ? QString() : name + u'/';
                valid = valid && nameValid;
            }
            if (!valid || close != line.size() - 1)
                contents.damagedLines.append(lineNumber);
            continue;
        }

        const qsizetype equals = line.indexOf('=');
        bool valid = true;
        const QString key =
            equals > 0 ? unescapedName(trimmedBlanks(line.first(equals)), &valid) : QString();
        if (key.isEmpty()) {
            contents.damagedLines.append(lineNumber);
            continue;
        }
        const QString value = unescapedValue(line.sliced(equals + 1), &valid);
        contents.values.insert(prefix + key, value);
        if (!valid)
            contents.damagedLines.append(lineNumber);
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
        if (it.key().isEmpty())
            out += "[General]\n";
        else if (it.key() == u"General")
            out += "[%General]\n";
        else
            out += '[' + escapedName(it.key()) + "]\n";
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
