// Fuzzes the command line: splitting it into arguments and reading the switches, as the main
// sequence does, against a reference tokenizer that also tracks where every byte came from.
//
// Input: the bytes are the command line as they stand. An input that begins with byte 0x7F is
// read instead with runs: each 0x7F, fill, high, low in it stands for ((high & 0x1F) << 8 | low)
// copies of fill, so that arguments around the 4096-byte limit are within the fuzzer's reach.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "reference.h"
#include "run_settings.h"

namespace haltix::fuzz {
namespace {

constexpr char RunMark = '\x7F';
// A run's length: the low five bits of its high byte, then its low byte.
constexpr std::size_t RunHighBits = 0x1F;
constexpr std::size_t BitsPerByte = 8;
// Bounds the expanded line, so that one input cannot take long.
constexpr std::size_t MaxExpandedLength = 3 * MaxArgumentLength;

std::string ExpandRuns(std::string_view input) {
    if (input.empty() || input.front() != RunMark) return std::string(input);
    std::string line;
    std::size_t i = 1;
    while (i < input.size() && line.size() < MaxExpandedLength) {
        if (input[i] != RunMark) {
            line.push_back(input[i++]);
            continue;
        }
        if (i + 3 >= input.size()) break;  // an incomplete run ends the line
        const auto high = static_cast<std::size_t>(static_cast<unsigned char>(input[i + 2]));
        const auto low = static_cast<std::size_t>(static_cast<unsigned char>(input[i + 3]));
        line.append(((high & RunHighBits) << BitsPerByte) | low, input[i + 1]);
        i += 4;
    }
    return line;
}

// One argument as the reference reads it: its bytes, and for each whether it came from inside a
// quoted stretch.
struct ReferenceToken {
    std::string bytes;
    std::vector<bool> quoted;
};

bool IsSeparatorByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 1 && byte <= ' ';
}

// The splitting rules as a byte-at-a-time state machine: bytes 1 to 32 separate; NUL ends the
// line; between tokens separators and each pair of quotes are skipped; in a token a quote is
// dropped and opens a stretch taken unchanged up to the next quote (dropped too) or the end. A
// token ends after 4096 bytes, also inside a stretch, and the rest of the stretch is then read as
// unquoted text; a quote right after stretch content that reached 4096 bytes closes it.
std::vector<ReferenceToken> ReferenceSplit(std::string_view input) {
    const std::string_view line = input.substr(0, input.find('\0'));
    enum class State { Between, InToken, InStretch };
    std::vector<ReferenceToken> tokens;
    State state = State::Between;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (state == State::Between) {
            if (IsSeparatorByte(c)) {
                ++i;
            } else if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                i += 2;
            } else {
                tokens.emplace_back();
                state = State::InToken;
            }
            continue;
        }
        ReferenceToken& token = tokens.back();
        if (state == State::InToken && IsSeparatorByte(c)) {
            state = State::Between;
            ++i;
            continue;
        }
        ++i;
        if (c == '"') {
            state = state == State::InToken ? State::InStretch : State::InToken;
            continue;
        }
        token.bytes.push_back(c);
        token.quoted.push_back(state == State::InStretch);
        if (token.bytes.size() == MaxArgumentLength) {
            if (state == State::InStretch && i < line.size() && line[i] == '"') ++i;
            state = State::Between;
        }
    }
    return tokens;
}

// What the switches leave in the settings, read from the reference's arguments (the program token
// excluded): the last action switch, any force or unstoppable switch, the last /T: and /M: values.
RunSettings ReferenceSettings(const std::vector<ReferenceToken>& tokens) {
    const auto lower = [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    };
    RunSettings settings;
    for (std::size_t t = 1; t < tokens.size(); ++t) {
        const std::string& argument = tokens[t].bytes;
        if (argument.size() >= 3 && argument[0] == '/' && argument[2] == ':') {
            if (lower(argument[1]) == 't') {
                const std::optional<std::int32_t> value =
                    ReferenceConvertInteger(std::string_view(argument).substr(3));
                settings.TimeoutSeconds = value.value_or(0);
            } else if (lower(argument[1]) == 'm') {
                settings.NoticeText = argument.substr(3);
            }
        }
        if (argument.size() != 2 || argument[0] != '/') continue;
        switch (lower(argument[1])) {
            case 'l': settings.ShutdownFlags = EwxLogoff; break;
            case 'p': settings.ShutdownFlags = EwxPoweroff; break;
            case 'r': settings.ShutdownFlags = EwxReboot; break;
            case 's': settings.ShutdownFlags = EwxShutdown; break;
            case 'f': settings.ForceClose = true; break;
            case 'u': settings.Unstoppable = true; break;
            default: break;
        }
    }
    return settings;
}

bool SameSettings(const RunSettings& a, const RunSettings& b) {
    return a.ShutdownFlags == b.ShutdownFlags && a.ForceClose == b.ForceClose &&
           a.TimeoutSeconds == b.TimeoutSeconds && a.Unstoppable == b.Unstoppable &&
           a.NoticeText == b.NoticeText;
}

// Parses the split line as the main sequence does: the program token is dropped first.
RunSettings Parse(std::vector<std::string> arguments) {
    if (!arguments.empty()) arguments.erase(arguments.begin());
    RunSettings settings;
    if (!arguments.empty()) ParseCommandLine(arguments, settings);
    return settings;
}

void CheckLine(std::string_view line) {
    const std::vector<std::string> tokens = SplitCommandLine(line);
    const std::vector<ReferenceToken> reference = ReferenceSplit(line);

    for (const std::string& token : tokens) {
        Check(token.size() <= MaxArgumentLength, "no argument is longer than the limit");
        Check(token.find('\0') == std::string::npos, "no argument holds a NUL byte");
        Check(UpperCaseAnsi(token).size() == token.size(), "upper-casing keeps the length");
    }
    for (const ReferenceToken& token : reference) {
        for (std::size_t i = 0; i < token.bytes.size(); ++i) {
            Check(token.quoted[i] || !IsSeparatorByte(token.bytes[i]),
                  "a separator byte in an argument comes from a quoted stretch");
        }
    }
    Check(tokens.size() == reference.size(), "as many arguments as the reference reads");
    for (std::size_t t = 0; t < tokens.size(); ++t) {
        Check(tokens[t] == reference[t].bytes, "every argument equals the reference's");
    }

    const RunSettings settings = Parse(tokens);
    Check(SameSettings(settings, Parse(tokens)), "parsing twice gives the same settings");
    const RunSettings expected = ReferenceSettings(reference);
    Check(settings.ShutdownFlags == expected.ShutdownFlags, "the last action switch wins");
    Check(settings.ForceClose == expected.ForceClose, "/F sets the force mark");
    Check(settings.Unstoppable == expected.Unstoppable, "/U sets the unstoppable mark");
    Check(settings.TimeoutSeconds == expected.TimeoutSeconds,
          "the countdown is the reference reading of the last /T: value");
    Check(settings.NoticeText == expected.NoticeText, "the notice is the last /M: value");
}

}  // namespace
}  // namespace haltix::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): libFuzzer hands bytes
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    haltix::fuzz::CheckLine(haltix::fuzz::ExpandRuns(input));
    return 0;
}
