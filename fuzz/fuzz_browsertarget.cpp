// From a resolver's name to the browser. As a raw host name: its escaped text holds no control or
// lone surrogate, unescapes to the raw bytes, and is the text itself for UTF-8 without controls or
// backslashes. As result lines (any, and "<address>\n<raw name>" as a scan forms them): the double
// click hands over exactly the name column. As "<target>\n<desktop file or Exec>": the target is
// one whole argument, once, never the program; Hidden=true deletes.

#include "commandline.h"
#include "desktopentry.h"
#include "fuzzsupport.h"
#include "hostnameescape.h"
#include "resultline.h"
#include "scansession.h"

#include <QStringDecoder>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const auto isControl = [](QChar c) { return c < u'\x20' || (c >= u'\x7f' && c <= u'\x9f'); };

void checkEscape(const QByteArray &raw)
{
    const QString text = escapeHostName(raw);
    QByteArray unescaped;
    static const QRegularExpression escape(u"\\A\\\\x[0-9A-F]{2}"_s);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QStringView rest = QStringView(text).sliced(i);
        FUZZ_CHECK(!isControl(rest[0]) && !rest[0].isLowSurrogate());
        FUZZ_CHECK(!rest[0].isHighSurrogate() || (rest.size() > 1 && rest[1].isLowSurrogate()));
        FUZZ_CHECK(rest[0] != u'\\' || escape.match(rest).hasMatch());
        const qsizetype length = rest[0] == u'\\' ? 4 : rest[0].isHighSurrogate() ? 2 : 1;
        unescaped += length == 4 ? QByteArray(1, char(rest.sliced(2, 2).toUInt(nullptr, 16)))
                                 : rest.first(length).toUtf8();
        i += length - 1;
    }
    FUZZ_CHECK(unescaped == raw);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder(raw);
    if (!decoder.hasError() && std::none_of(decoded.cbegin(), decoded.cend(),
                                            [](QChar c) { return isControl(c) || c == u'\\'; }))
        FUZZ_CHECK(text == decoded);
}

void checkLines(const QString &line, QString ip, const QString &name)
{
    const QString domain = domainFromResultLine(line);
    const qsizetype tab = line.indexOf(u'\t');
    FUZZ_CHECK(!domain.contains(u'\t'));
    FUZZ_CHECK(tab < 0 ? domain == line
                       : line.sliced(tab + 1).append(u'\t').startsWith(domain + u'\t'));
    ip.remove(u'\t'); // the field never holds one
    for (const bool ping : {true, false})
        FUZZ_CHECK(domainFromResultLine(resultListLine(ping, true, ip, name, u"12:00"_s)) == name);
}

// A marker only the target carries.
constexpr QChar kMarker = QChar(0xE000);

void checkCommand(const std::optional<QStringList> &command, const QString &target)
{
    const QStringList holders = command.value_or(QStringList()).filter(QString(kMarker));
    FUZZ_CHECK(!command || (!command->isEmpty() && !command->first().isEmpty() &&
                            !command->first().contains(kMarker)));
    FUZZ_CHECK(!command || (holders.size() == 1 && holders[0].count(kMarker) == 1 &&
                            holders[0].contains(target)));
}

void checkDesktopFile(const QString &target, const QString &file)
{
    if (const std::optional<DesktopEntry> entry = DesktopEntry::parse(file.toUtf8()))
        checkCommand(entry->commandFor(target), target);
    checkCommand(DesktopEntry::expandExec(file, target), target);
    for (const bool hidden : {true, false}) {
        const QString group = u"[Desktop Entry]\nHidden=%1\n"_s.arg(hidden ? u"true" : u"false");
        const std::optional<DesktopEntry> entry = DesktopEntry::parse((group + file).toUtf8());
        FUZZ_CHECK(entry && entry->isHidden() == hidden);
    }
    for (const CommandWord &word : splitCommandLine(file).value_or(QList<CommandWord>()))
        FUZZ_CHECK(word.quoted || !word.text.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    checkEscape(bytes);
    const auto [first, rest] = fuzzSplit(data, size);
    checkLines(QString::fromUtf8(bytes), QString::fromUtf8(first), escapeHostName(rest));
    checkDesktopFile(kMarker + QString::fromUtf8(first).remove(kMarker),
                     QString::fromUtf8(rest).remove(kMarker));
    return 0;
}
