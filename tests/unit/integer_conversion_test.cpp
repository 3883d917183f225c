// The /T: value conversion: every accepted and rejected form.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "integer_conversion.h"

namespace haltix {
namespace {

struct Case {
    std::string text;
    std::optional<std::int32_t> expected;
};

class ConvertIntegerTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConvertIntegerTest, ReadsValue) {
    EXPECT_EQ(ConvertInteger(GetParam().text), GetParam().expected) << "value: " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConvertIntegerTest,
    ::testing::Values(
        Case{"30", 30}, Case{"030", 30}, Case{"+30", 30}, Case{" 30", 30}, Case{"   30", 30},
        Case{"$1E", 30}, Case{"$1e", 30}, Case{"x1E", 30}, Case{"X1e", 30}, Case{"0x1e", 30},
        Case{"0X1E", 30}, Case{"-5", -5}, Case{"0", 0}, Case{"-0", 0}, Case{"2147483647", INT_MAX},
        Case{"-2147483648", INT_MIN}, Case{"0002147483647", INT_MAX}, Case{"$FFFFFFFF", -1},
        Case{"$80000000", INT_MIN}, Case{"$000000001", 1}, Case{"0x7fffffff", INT_MAX},
        // Not integers.
        Case{"", std::nullopt}, Case{" ", std::nullopt}, Case{"30 ", std::nullopt},
        Case{"\t30", std::nullopt}, Case{"- 5", std::nullopt}, Case{"+-5", std::nullopt},
        Case{"5.0", std::nullopt}, Case{"1e3", std::nullopt}, Case{"$", std::nullopt},
        Case{"0x", std::nullopt}, Case{"x", std::nullopt}, Case{"-$5", std::nullopt},
        Case{"-0x5", std::nullopt}, Case{"+", std::nullopt}, Case{"-", std::nullopt},
        Case{"2147483648", std::nullopt}, Case{"-2147483649", std::nullopt},
        Case{"+2147483648", std::nullopt}, Case{"$100000000", std::nullopt},
        Case{"99999999999999999999", std::nullopt}, Case{"$1G", std::nullopt},
        Case{"00x5", std::nullopt}, Case{"abc", std::nullopt}));

}  // namespace
}  // namespace haltix
