// Escaping of host names from the resolver: the text must hold nothing that
// could break a tab-separated line or a CR LF log line, and it must tell any
// two names apart, so reading the escapes back must give the raw bytes.

#include "fuzzsupport.h"
#include "hostnameescape.h"

namespace {

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
            raw += static_cast<char>(text[i].unicode());
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
    for (const QChar c : text)
        FUZZ_CHECK(c.unicode() >= 0x20 && c.unicode() < 0x7F);
    FUZZ_CHECK(unescaped(text) == raw);
    return 0;
}
