// Fuzzes the /T: value conversion: on every input it must agree with the reference reading.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

#include "integer_conversion.h"
#include "reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-reinterpret-cast): libFuzzer hands bytes
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<std::int32_t> actual = haltix::ConvertInteger(text);
    const std::optional<std::int32_t> expected = haltix::fuzz::ReferenceConvertInteger(text);
    if (actual != expected) {
        static_cast<void>(std::fprintf(stderr,
                                       "ConvertInteger: %s%" PRId32 ", reference: %s%" PRId32 "\n",
                                       actual ? "" : "none ", actual.value_or(0),
                                       expected ? "" : "none ", expected.value_or(0)));
    }
    haltix::fuzz::Check(actual == expected, "ConvertInteger agrees with the reference reading");
    return 0;
}
