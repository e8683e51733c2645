#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>
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
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                   static_cast<qsizetype>(size));
}

/// The input cut at its first line break: what comes before and after it.
/// Without one, everything goes to the first part, or to the second when
/// @p wholeFirst is false.
inline std::pair<QByteArray, QByteArray> fuzzSplit(const uint8_t *data, size_t size,
                                                   bool wholeFirst = true)
{
    const QByteArray bytes = fuzzBytes(data, size);
    const qsizetype cut = bytes.indexOf('\n');
    if (cut < 0)
        return wholeFirst ? std::pair{bytes, QByteArray()} : std::pair{QByteArray(), bytes};
    return {bytes.first(cut), bytes.sliced(cut + 1)};
}
