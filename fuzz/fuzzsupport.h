#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

// A failed check aborts: libFuzzer reports a crash and keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

/// The input cut at its first line break; all of it comes first without one.
inline std::pair<QByteArray, QByteArray> fuzzSplit(const uint8_t *data, size_t size)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const qsizetype cut = bytes.indexOf('\n');
    return {cut < 0 ? bytes : bytes.first(cut), cut < 0 ? QByteArray() : bytes.sliced(cut + 1)};
}

/// The address of a text made of four octets of one to three digits, 0 to 255.
inline std::optional<quint32> plainAddress(const QString &text)
{
    static const QRegularExpression octets(QRegularExpression::anchoredPattern(
        QStringLiteral("([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})")));
    const QRegularExpressionMatch match = octets.match(text);
    quint32 address = 0;
    for (int i = 1; i <= 4 && match.hasMatch(); ++i) {
        if (match.capturedView(i).toUInt() > 255)
            return std::nullopt;
        address = (address << 8) | match.capturedView(i).toUInt();
    }
    return match.hasMatch() ? std::optional(address) : std::nullopt;
}
