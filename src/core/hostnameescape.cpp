#include "hostnameescape.h"

namespace {

bool isContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at the start of @p bytes and its code
// point, or 0 when the first byte starts no valid sequence: a stray
// continuation byte, a sequence cut short, an overlong form, a surrogate or a
// value beyond U+10FFFF.
qsizetype decodeSequence(QByteArrayView bytes, char32_t &codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    qsizetype length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (qsizetype i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (!isContinuation(byte))
            return 0;
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

bool mustEscape(char32_t codePoint)
{
    return codePoint < 0x20 || codePoint == 0x7F || (codePoint >= 0x80 && codePoint <= 0x9F) ||
           codePoint == U'\\';
}

void appendEscapes(QString &text, QByteArrayView bytes)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        text += u"\\x";
        text += QLatin1Char(hexDigits[byte >> 4]);
        text += QLatin1Char(hexDigits[byte & 0x0F]);
    }
}

} // namespace

QString escapeHostName(QByteArrayView rawName)
{
    QString text;
    text.reserve(rawName.size());
    while (!rawName.isEmpty()) {
        char32_t codePoint = 0;
        const qsizetype length = decodeSequence(rawName, codePoint);
        if (length == 0) {
            appendEscapes(text, rawName.first(1));
            rawName = rawName.sliced(1);
            continue;
        }
        if (mustEscape(codePoint))
            appendEscapes(text, rawName.first(length));
        else
            text += QStringView(QChar::fromUcs4(codePoint));
        rawName = rawName.sliced(length);
    }
    return text;
}
