// The address lists the bus view, `halvik-cli --slaves` and `halvik-sim
// --slaves` take: what each list gives, and which item a refused one names.

#include "driver/SlaveList.h"

#include <gtest/gtest.h>

namespace {

TEST(SlaveList, DecimalAndHexInTheOrderGivenAndTheFirstBadItemNamed) {
    const struct {
        const char* text;
        std::vector<uint8_t> slaves;
    } good[] = {
        {"1,2,5", {1, 2, 5}},
        {" 247 ; 0x0A,0X1f\t", {247, 10, 31}},
        {",5,,3, ", {5, 3}},
        {"010", {10}}, // decimal, not octal
    };
    for (const auto& [text, slaves] : good) {
        std::vector<uint8_t> out;
        SSlaveListError err{SSlaveListError::kDuplicate, "stale"};
        EXPECT_TRUE(ParseSlaveList(text, out, err)) << text;
        EXPECT_EQ(out, slaves) << text;
        EXPECT_EQ(err.kind, SSlaveListError::kNone) << text;
    }

    using E = SSlaveListError;
    const struct {
        const char* text;
        E::EKind kind;
        const char* item;
    } bad[] = {
        {"", E::kEmpty, ""},
        {" ,; ", E::kEmpty, ""},
        {"1,0", E::kBadAddress, "0"},
        {"248", E::kBadAddress, "248"},
        {"0xF8", E::kBadAddress, "0xF8"},
        {"4294967297", E::kBadAddress, "4294967297"}, // 1 once cut to 32 bits
        {"+5", E::kBadAddress, "+5"},
        {"-1", E::kBadAddress, "-1"},
        {"0x", E::kBadAddress, "0x"},
        {"12abc", E::kBadAddress, "12abc"},
        {"1 2", E::kBadAddress, "1 2"},
        {"1, 2 ,x,x", E::kBadAddress, "x"},
        {"5, 0x05", E::kDuplicate, "0x05"},
        {"3,3,0", E::kDuplicate, "3"},
    };
    for (const auto& [text, kind, item] : bad) {
        std::vector<uint8_t> out;
        SSlaveListError err;
        EXPECT_FALSE(ParseSlaveList(text, out, err)) << text;
        EXPECT_EQ(err.kind, kind) << text;
        EXPECT_EQ(err.item, item) << text;
    }
}

} // namespace
