#include "hostnameescape.h"

QString escapeHostName(QByteArrayView rawName)
{
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    QString text;
    text.reserve(rawName.size());
    for (const char ch : rawName) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 || byte >= 0x7F || byte == '\\') {
            text += u"\\x";
            text += QLatin1Char(hexDigits[byte >> 4]);
            text += QLatin1Char(hexDigits[byte & 0x0F]);
        } else {
            text += QLatin1Char(ch);
        }
    }
    return text;
}
