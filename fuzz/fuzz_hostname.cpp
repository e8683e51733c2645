// Names from the resolver: every check below reads the same input its own way.
//
// Escaping of host names from the resolver: the text must hold nothing that
// could break a tab-separated line or a CR LF log line, and it must tell any
// two names apart, so reading the escapes back must give the raw bytes. A name
// that is valid UTF-8 without control characters or backslashes comes back as
// its text.
//
// The domain column of a result line, on any line and on the lines a scan
// forms from a name the resolver delivered.
//
// Input: "<address>\n<raw name bytes>". The name goes through the same
// escaping as a looked-up name, and the double-click must hand the browser
// exactly that escaped name, in both modes that carry names.

#include "fuzzsupport.h"
#include "hostnameescape.h"
#include "resultline.h"
#include "scansession.h"

#include <QStringDecoder>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {
namespace escape {

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

int hexValue(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

QByteArray unescaped(const QString &text)
{
    QByteArray raw;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\\') {
            const qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
            raw += QStringView(text).sliced(i, length).toUtf8();
            i += length - 1;
            continue;
        }
        FUZZ_CHECK(i + 3 < text.size() && text[i + 1] == u'x');
        const int high = hexValue(text[i + 2]);
        const int low = hexValue(text[i + 3]);
        FUZZ_CHECK(high >= 0 && low >= 0);
        raw += static_cast<char>(high * 16 + low);
        i += 3;
    }
    return raw;
}

} // namespace

int check(const uint8_t *data, size_t size)
{
    const QByteArray raw = fuzzBytes(data, size);
    const QString text = escapeHostName(raw);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        FUZZ_CHECK(!isControl(c.unicode()));
        // Only whole pairs: a lone surrogate has no UTF-8 form.
        if (c.isHighSurrogate())
            FUZZ_CHECK(++i < text.size() && text[i].isLowSurrogate());
        else
            FUZZ_CHECK(!c.isLowSurrogate());
    }
    FUZZ_CHECK(unescaped(text) == raw);

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder(raw);
    const bool plainText =
        !decoder.hasError() && std::none_of(decoded.cbegin(), decoded.cend(), [](QChar c) {
            return isControl(c.unicode()) || c == u'\\';
        });
    if (plainText)
        FUZZ_CHECK(text == decoded);
    return 0;
}

} // namespace escape
} // namespace

namespace {
namespace line {

int check(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);

    const QString anyLine = QString::fromUtf8(bytes);
    const QString domain = domainFromResultLine(anyLine);
    FUZZ_CHECK(!domain.contains(u'\t'));
    FUZZ_CHECK(anyLine.contains(domain));
    if (!anyLine.contains(u'\t'))
        FUZZ_CHECK(domain == anyLine);
    else
        FUZZ_CHECK(anyLine.sliced(anyLine.indexOf(u'\t') + 1).startsWith(domain));

    const qsizetype cut = bytes.indexOf('\n');
    // The address comes from the field: never a tab in it.
    const QString address = QString::fromUtf8(cut < 0 ? bytes : bytes.first(cut)).remove(u'\t');
    const QString name =
        escapeHostName(cut < 0 ? QByteArrayView() : QByteArrayView(bytes).sliced(cut + 1));
    const QString stamp = u"12/05/26 03:26:08 pm"_s;
    FUZZ_CHECK(domainFromResultLine(resultListLine(true, true, address, name, stamp)) == name);
    FUZZ_CHECK(domainFromResultLine(resultListLine(false, true, address, name, stamp)) == name);
    return 0;
}

} // namespace line
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    escape::check(data, size);
    line::check(data, size);
    return 0;
}
