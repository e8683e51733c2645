// Escaping of host names from the resolver: the text must hold nothing that
// could break a tab-separated line or a CR LF log line, and it must tell any
// two names apart, so reading the escapes back must give the raw bytes. A name
// that is valid UTF-8 without control characters or backslashes comes back as
// its text.

#include "fuzzsupport.h"
#include "hostnameescape.h"

#include <QStringDecoder>
#include <algorithm>

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
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
