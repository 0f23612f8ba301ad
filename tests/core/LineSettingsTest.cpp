#include "serial/ComPort.h"

#include <gtest/gtest.h>

TEST(LineSettings, ParsesWhatItCanApplyAndRefusesTheRest) {
    LineSettings s;
    ASSERT_TRUE(ParseLineSettings("19200,o,7,2", s));
    EXPECT_EQ(s.baud, 19200);
    EXPECT_EQ(s.parity, 'o');
    EXPECT_EQ(s.dataBits, 7);
    EXPECT_EQ(s.stopBits, 2);

    for (const char* text : {"", "abc", "9600", "9600,n", "9600,n,8", "9600,x,8,1", "9600,n,9,1",
                             "9600,n,8,3", "0,n,8,1", "-9600,n,8,1", "9600;n;8;1", "9600,n,8,1,1"})
        EXPECT_FALSE(ParseLineSettings(text, s)) << text;
}
