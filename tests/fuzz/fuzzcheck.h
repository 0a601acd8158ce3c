#pragma once

#include <QByteArrayView>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

/// Stops the fuzzer with the failed condition when an invariant of the code under test does not
/// hold; libFuzzer then saves the input that caused it.
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition);                     \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace fuzz {

/// The fuzzer's input as bytes.
inline QByteArrayView bytesOf(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)};
}

} // namespace fuzz
