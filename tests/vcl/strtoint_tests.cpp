// StrToInt: accepted forms, ranges and the failure text.
#include "Exception.h"
#include "StrToInt.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct Case {
    std::string text;
    std::optional<int> value; // nullopt: must fail
};

// Returns the value, or nullopt after checking the failure's exact text.
std::optional<int> Convert(const std::string& text) {
    try {
        return StrToInt(text);
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'" + text + "' is not a valid integer value");
        return std::nullopt;
    }
}

TEST(StrToInt, ConvertsOrRejectsWithTheTextQuoted) {
    const Case cases[] = {
        {"0", 0},
        {" 12", 12},
        {"\t\r\n 5", 5},
        {"-7", -7},
        {"+7", 7},
        {"007", 7},
        {"$1F", 31},
        {"0x1f", 31},
        {"0X1F", 31},
        {"-$10", -16},
        {"$7FFFFFFF", 2147483647},
        {"$FFFFFFFF", -1}, // hexadecimal fills all 32 bits
        {"$80000000", -2147483647 - 1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$100000000", std::nullopt},
        {"99999999999999999999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"12 ", std::nullopt}, // trailing blanks are not accepted
        {"1e3", std::nullopt},
        {"1.0", std::nullopt},
        {"- 1", std::nullopt},
        {"+-1", std::nullopt},
        {"$G", std::nullopt},
        {"x1F", std::nullopt},
        {std::string("1\0", 2), std::nullopt},
        {"%s%n", std::nullopt}, // must come out literally, never used as a format
        {"\xD1\x87\xD0\xB8\xD1\x81\xD0\xBB\xD0\xBE", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("text: \"" + c.text + "\"");
        EXPECT_EQ(Convert(c.text), c.value);
    }
}

} // namespace
