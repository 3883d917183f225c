// Splits the process's command line into arguments and reads the switches into the run settings.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "run_settings.h"

namespace haltix {

// The most bytes one argument holds.
inline constexpr std::size_t MaxArgumentLength = 4096;

// Cuts a command line into its tokens, the program token first. Bytes 1 to 32 separate tokens;
// a NUL byte ends the line. Quote pairs where a token would begin are skipped; inside a token a
// double quote opens a stretch taken unchanged up to the next quote. A token ends after
// MaxArgumentLength bytes, also inside a quoted stretch, and the rest is read as a new token.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Upper-cases ASCII letters the way the system's ANSI upper-casing does under code page 932: the
// second byte of a double-byte character is left alone. The length never changes.
std::string UpperCaseAnsi(std::string_view text);

// Applies every switch among the arguments (the program token excluded) to the settings.
// Arguments that match no switch are ignored.
void ParseCommandLine(const std::vector<std::string>& arguments, RunSettings& settings);

}  // namespace haltix
