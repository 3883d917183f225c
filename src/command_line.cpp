// Command-line splitting and switch matching.
#include "command_line.h"

#include <algorithm>
#include <array>
#include <optional>

#include "integer_conversion.h"

namespace haltix {
namespace {

// The control bytes and the blank separate tokens; byte 0 ends the line instead.
constexpr unsigned char LastSeparator = ' ';

bool IsSeparator(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= LastSeparator;
}

// Code page 932 lead bytes, in two ranges: the byte after one belongs to the same character.
struct ByteRange {
    unsigned char first;
    unsigned char last;
};
constexpr std::array<ByteRange, 2> LeadByteRanges{{{0x81, 0x9F}, {0xE0, 0xFC}}};

bool IsLeadByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return std::ranges::any_of(LeadByteRanges, [byte](const ByteRange& range) {
        return byte >= range.first && byte <= range.last;
    });
}

// Reads one token from line at position; returns false when no token is left.
bool NextToken(std::string_view line, std::size_t& position, std::string& token) {
    const auto at = [&](std::size_t i) { return i < line.size() ? line[i] : '\0'; };
    for (;;) {
        while (IsSeparator(at(position))) ++position;
        if (at(position) == '"' && at(position + 1) == '"') {
            position += 2;
        } else {
            break;
        }
    }
    if (at(position) == '\0') return false;

    token.clear();
    while (token.size() < MaxArgumentLength) {
        const char c = at(position);
        if (c == '\0' || IsSeparator(c)) break;
        ++position;
        if (c != '"') {
            token.push_back(c);
            continue;
        }
        while (token.size() < MaxArgumentLength && at(position) != '\0' && at(position) != '"') {
            token.push_back(line[position++]);
        }
        // The closing quote is dropped. A stretch cut by the length limit stays unclosed, and
        // the rest of it is read as ordinary text of the next token.
        if (at(position) == '"') ++position;
    }
    return true;
}

enum class Switch { Logoff, Poweroff, Reboot, Shutdown, Force, Timeout, Unstoppable, Message };

struct SwitchTest {
    std::string_view text;
    // Switches with a value match on their first three bytes, the others on the whole argument.
    bool takesValue;
    Switch which;
};

// The tests are made in this order for every argument; at most one can match.
constexpr std::array<SwitchTest, 8> SwitchTests{{
    {"/L", false, Switch::Logoff},
    {"/P", false, Switch::Poweroff},
    {"/R", false, Switch::Reboot},
    {"/S", false, Switch::Shutdown},
    {"/F", false, Switch::Force},
    {"/T:", true, Switch::Timeout},
    {"/U", false, Switch::Unstoppable},
    {"/M:", true, Switch::Message},
}};

void Apply(Switch which, const std::string& argument, RunSettings& settings) {
    switch (which) {
        case Switch::Logoff: settings.ShutdownFlags = EwxLogoff; break;
        case Switch::Poweroff: settings.ShutdownFlags = EwxPoweroff; break;
        case Switch::Reboot: settings.ShutdownFlags = EwxReboot; break;
        case Switch::Shutdown: settings.ShutdownFlags = EwxShutdown; break;
        case Switch::Force: settings.ForceClose = true; break;
        case Switch::Timeout:
            // A value that is not an integer sets 0, even after a valid one.
            settings.TimeoutSeconds =
                ConvertInteger(std::string_view(argument).substr(3)).value_or(0);
            break;
        case Switch::Unstoppable: settings.Unstoppable = true; break;
        case Switch::Message:
            // Taking the text can only fail when memory runs out; the old text then stays.
            try {
                settings.NoticeText = argument.substr(3);
            } catch (...) {  // NOLINT(bugprone-empty-catch): failing silently is the intent
            }
            break;
    }
}

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
    std::vector<std::string> tokens;
    std::size_t position = 0;
    std::string token;
    while (NextToken(commandLine, position, token)) tokens.push_back(token);
    return tokens;
}

std::string UpperCaseAnsi(std::string_view text) {
    std::string upper(text);
    for (std::size_t i = 0; i < upper.size(); ++i) {
        if (IsLeadByte(upper[i])) {
            ++i;
        } else if (upper[i] >= 'a' && upper[i] <= 'z') {
            upper[i] = static_cast<char>(upper[i] - 'a' + 'A');
        }
    }
    return upper;
}

void ParseCommandLine(const std::vector<std::string>& arguments, RunSettings& settings) {
    for (const std::string& argument : arguments) {
        const std::string upper = UpperCaseAnsi(argument);
        const std::string_view prefix = std::string_view(upper).substr(0, 3);
        for (const SwitchTest& test : SwitchTests) {
            if ((test.takesValue ? prefix : std::string_view(upper)) == test.text) {
                Apply(test.which, argument, settings);
            }
        }
    }
}

}  // namespace haltix
