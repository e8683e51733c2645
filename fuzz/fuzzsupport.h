#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <utility>

// Helpers shared by the fuzz targets. A failed check aborts, which libFuzzer
// reports as a crash and keeps the input that caused it.

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzCheckFailed(#condition, __FILE__, __LINE__);                                       \
    } while (false)

[[noreturn]] inline void fuzzCheckFailed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

/// The fuzz data as bytes, without copying.
inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                   static_cast<qsizetype>(size));
}

/// The fuzz data read as UTF-8, as text typed, pasted or stored arrives.
inline QString fuzzText(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

/// The fuzz data cut at its first @p separator: the text before it and the
/// text after it (empty when there is none).
inline std::pair<QString, QString> fuzzTextPair(const uint8_t *data, size_t size,
                                                char separator = '\n')
{
    const QByteArray bytes = fuzzBytes(data, size);
    const qsizetype cut = bytes.indexOf(separator);
    if (cut < 0)
        return {QString::fromUtf8(bytes), QString()};
    return {QString::fromUtf8(bytes.first(cut)), QString::fromUtf8(bytes.sliced(cut + 1))};
}
