// Reads a command-line value as a signed 32-bit integer, decimal or hexadecimal.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace haltix {

// Accepts leading blanks (byte 32 only), then either a sign directly followed by decimal digits,
// plain decimal digits (leading zeros allowed), or a hexadecimal value after "$", "x", "X", "0x"
// or "0X" with at most eight significant digits whose 32 bits are read as a signed number.
// The digits must run to the end. Anything else is not an integer: the result is empty.
std::optional<std::int32_t> ConvertInteger(std::string_view text);

}  // namespace haltix
