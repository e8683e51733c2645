#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>
#include <optional>

// A failed check aborts: libFuzzer reports a crash and keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition)                                                                                   \
         ? void()                                                                                  \
         : (std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition),     \
            std::abort()))

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
    static const QRegularExpression octet(QStringLiteral("\\A[0-9]{1,3}\\z"));
    const QStringList parts = text.split(u'.');
    quint32 address = 0;
    for (const QString &part : parts) {
        if (parts.size() != 4 || !octet.match(part).hasMatch() || part.toUInt() > 255)
            return std::nullopt;
        address = address << 8 | part.toUInt();
    }
    return address;
}
