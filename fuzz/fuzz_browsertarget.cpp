// From a resolver's name to the browser. The whole input as a raw host name:
// its escaped text holds no control character or lone surrogate, unescaping
// gives the raw bytes back, and valid UTF-8 without controls or backslashes
// stays as it is. The whole input as a result line, and "<address>\n<raw name>"
// as the lines a scan forms: the double-click hands over exactly the name
// column. "<target>\n<desktop file or Exec line>": the browser gets the target
// as one whole argument, exactly once, never as the program; an entry opening
// with Hidden=true counts as deleted, with Hidden=false not.

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

bool isControl(QChar c)
{
    return c < u'\x20' || (c >= u'\x7f' && c <= u'\x9f');
}

void checkEscape(const QByteArray &raw)
{
    const QString text = escapeHostName(raw);
    QByteArray unescaped;
    for (qsizetype i = 0; i < text.size(); ++i) {
        FUZZ_CHECK(!isControl(text[i]) && !text[i].isLowSurrogate());
        const qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
        FUZZ_CHECK(length == 1 || (i + 1 < text.size() && text[i + 1].isLowSurrogate()));
        if (text[i] == u'\\') {
            FUZZ_CHECK(text.sliced(i).startsWith(u"\\x") && i + 3 < text.size());
            const QStringView hex = QStringView(text).sliced(i + 2, 2);
            FUZZ_CHECK(std::all_of(hex.begin(), hex.end(), [](QChar c) {
                return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
            }));
            unescaped += char(hex.toUInt(nullptr, 16));
            i += 3;
        } else {
            unescaped += QStringView(text).sliced(i, length).toUtf8();
            i += length - 1;
        }
    }
    FUZZ_CHECK(unescaped == raw);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder(raw);
    if (!decoder.hasError() && std::none_of(decoded.cbegin(), decoded.cend(),
                                            [](QChar c) { return isControl(c) || c == u'\\'; }))
        FUZZ_CHECK(text == decoded);
}

void checkLines(const QString &line, QString address, const QString &name)
{
    const QString domain = domainFromResultLine(line);
    const qsizetype tab = line.indexOf(u'\t');
    FUZZ_CHECK(!domain.contains(u'\t'));
    FUZZ_CHECK(tab < 0 ? domain == line : line.sliced(tab + 1).startsWith(domain));
    FUZZ_CHECK(tab < 0 || line.size() == tab + 1 + domain.size() ||
               line[tab + 1 + domain.size()] == u'\t');
    address.remove(u'\t'); // the field never holds one
    for (const bool ping : {true, false})
        FUZZ_CHECK(domainFromResultLine(resultListLine(ping, true, address, name, u"12:00"_s)) ==
                   name);
}

// A marker only the target carries.
constexpr QChar kMarker = QChar(0xE000);

void checkCommand(const std::optional<QStringList> &command, const QString &target)
{
    if (!command)
        return;
    FUZZ_CHECK(!command->isEmpty() && !command->first().isEmpty());
    FUZZ_CHECK(!command->first().contains(kMarker));
    const QStringList holders = command->filter(QString(kMarker));
    FUZZ_CHECK(holders.size() == 1 && holders[0].count(kMarker) == 1 &&
               holders[0].contains(target));
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
    if (const std::optional<QList<CommandWord>> words = splitCommandLine(file)) {
        for (const CommandWord &word : *words)
            FUZZ_CHECK(word.quoted || !word.text.isEmpty());
    }
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
