// Simple, independent readings the fuzzers hold the program's code against, and the check that
// stops a fuzzer run when a property fails.
#pragma once

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace haltix::fuzz {

// Aborts with a message when a property does not hold; libFuzzer then keeps the input as a crash.
inline void Check(bool holds, const char* property) {
    if (!holds) {
        // Nothing is left to do when even this message cannot be written.
        static_cast<void>(std::fprintf(stderr, "property violated: %s\n", property));
        std::abort();
    }
}

// Eight hexadecimal digits make the 32 bits of a value.
constexpr std::size_t MaxSignificantHexDigits = 8;
constexpr int DecimalBase = 10;
constexpr int HexBase = 16;

inline bool IsDecimalDigitByte(char c) { return c >= '0' && c <= '9'; }

inline bool IsHexDigitByte(char c) {
    return IsDecimalDigitByte(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The /T: value rules, applied by hand and left to the C library for the arithmetic: blanks
// (byte 32 only) first; then a sign directly followed by decimal digits, plain decimal digits, or
// hexadecimal digits after "$", "x", "X", "0x" or "0X" (at most eight past the leading zeros, 32
// bits read as signed). The digits run to the end; decimal values lie in the signed 32-bit range.
inline std::optional<std::int32_t> ReferenceConvertInteger(std::string_view text) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) return std::nullopt;
    // A copy ends in NUL for the C library; digits are checked first, so no NUL is inside.
    const std::string value(text.substr(start));

    std::size_t hexStart = 0;
    if (value[0] == '$' || value[0] == 'x' || value[0] == 'X') {
        hexStart = 1;
    } else if (value.size() >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        hexStart = 2;
    }
    if (hexStart > 0) {
        const std::string digits = value.substr(hexStart);
        if (digits.empty() || !std::ranges::all_of(digits, IsHexDigitByte)) return std::nullopt;
        const std::size_t firstSignificant = digits.find_first_not_of('0');
        const std::string significant =
            firstSignificant == std::string::npos ? "0" : digits.substr(firstSignificant);
        if (significant.size() > MaxSignificantHexDigits) return std::nullopt;
        const unsigned long bits = std::strtoul(significant.c_str(), nullptr, HexBase);
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    }

    const std::size_t digitsStart = (value[0] == '-' || value[0] == '+') ? 1 : 0;
    const std::string_view digits = std::string_view(value).substr(digitsStart);
    if (digits.empty() || !std::ranges::all_of(digits, IsDecimalDigitByte)) return std::nullopt;
    errno = 0;
    const long long number = std::strtoll(value.c_str(), nullptr, DecimalBase);
    // Out of range for long long is out of range for 32 bits as well.
    if (errno == ERANGE || number < INT32_MIN || number > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(number);
}

}  // namespace haltix::fuzz
