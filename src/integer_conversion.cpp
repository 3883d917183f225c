// Strict integer conversion for command-line values.
#include "integer_conversion.h"

#include <cstddef>

namespace haltix {
namespace {

constexpr std::uint32_t DecimalBase = 10;
// The value of hexadecimal digit 'a' (or 'A'), the first past the decimal digits.
constexpr int FirstLetterDigitValue = 10;
// Eight hexadecimal digits make the 32 bits of the value.
constexpr int MaxSignificantHexDigits = 8;

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + FirstLetterDigitValue;
    if (c >= 'A' && c <= 'F') return c - 'A' + FirstLetterDigitValue;
    return -1;
}

// Digits after a hexadecimal prefix; leading zeros are not significant.
std::optional<std::int32_t> ConvertHexadecimal(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint32_t value = 0;
    int significant = 0;
    for (const char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        if (value != 0 || digit != 0) ++significant;
        if (significant > MaxSignificantHexDigits) return std::nullopt;
        value = (value << 4U) | static_cast<std::uint32_t>(digit);
    }
    return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ConvertDecimal(std::string_view digits, bool negative) {
    if (digits.empty()) return std::nullopt;
    // The magnitude limit differs by sign: 2147483648 is valid only when negative.
    const std::uint32_t limit = negative ? 2147483648U : 2147483647U;
    std::uint32_t magnitude = 0;
    for (const char c : digits) {
        if (!IsDecimalDigit(c)) return std::nullopt;
        const auto digit = static_cast<std::uint32_t>(c - '0');
        if (magnitude > (limit - digit) / DecimalBase) return std::nullopt;
        magnitude = magnitude * DecimalBase + digit;
    }
    // Negating in unsigned arithmetic keeps -2147483648 well defined.
    return static_cast<std::int32_t>(negative ? 0U - magnitude : magnitude);
}

}  // namespace

std::optional<std::int32_t> ConvertInteger(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size() && text[position] == ' ') ++position;
    const std::string_view value = text.substr(position);
    if (value.empty()) return std::nullopt;

    if (value.front() == '-' || value.front() == '+') {
        return ConvertDecimal(value.substr(1), value.front() == '-');
    }
    if (value.front() == '$' || value.front() == 'x' || value.front() == 'X') {
        return ConvertHexadecimal(value.substr(1));
    }
    if (value.size() >= 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        return ConvertHexadecimal(value.substr(2));
    }
    return ConvertDecimal(value, false);
}

}  // namespace haltix
