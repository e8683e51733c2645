// Host names from the resolver and the result lines made of them.
//
// The whole input is a raw name: its escaped text holds no control character
// and no lone surrogate, reading the escapes back gives the raw bytes, and
// valid UTF-8 without controls or backslashes comes back as its text. The
// input is also any result line, and "<address>\n<raw name>" the lines a
// scan forms: the double-click must hand over exactly the escaped name.

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
            const QStringView digits = QStringView(text).sliced(i + 2, 2);
            FUZZ_CHECK(std::all_of(digits.begin(), digits.end(), [](QChar c) {
                return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
            }));
            unescaped += char(digits.toUInt(nullptr, 16));
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

void checkLines(const QString &anyLine, QString address, const QString &name)
{
    const QString domain = domainFromResultLine(anyLine);
    const qsizetype tab = anyLine.indexOf(u'\t');
    FUZZ_CHECK(!domain.contains(u'\t'));
    FUZZ_CHECK(tab < 0 ? domain == anyLine : anyLine.sliced(tab + 1).startsWith(domain));
    FUZZ_CHECK(tab < 0 || anyLine.size() == tab + 1 + domain.size() ||
               anyLine[tab + 1 + domain.size()] == u'\t');

    address.remove(u'\t'); // the field never holds one
    const QString stamp = u"12/05/26 03:26:08 pm"_s;
    for (const bool ping : {true, false})
        FUZZ_CHECK(domainFromResultLine(resultListLine(ping, true, address, name, stamp)) == name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    checkEscape(bytes);
    const auto [address, name] = fuzzSplit(data, size);
    checkLines(QString::fromUtf8(bytes), QString::fromUtf8(address), escapeHostName(name));
    return 0;
}
