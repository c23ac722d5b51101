// text_test.cpp - field splitting and lenient number reading, the two helpers
// every file reader of the game leans on.
#include "text/text.h"

#include <gtest/gtest.h>

TEST(FieldOf, SplitsSetupLinesAtTheSeparatorAndTrims) {
    EXPECT_EQ(FieldOf("  Width=1024  ", "=", 1), "Width");
    EXPECT_EQ(FieldOf("  Width=1024  ", "=", 2), "1024");
    EXPECT_EQ(FieldOf("\tMaster = 50\r", "=", 1), "Master "); // fields keep inner blanks
    EXPECT_EQ(FieldOf("\tMaster = 50\r", "=", 2), " 50");
    EXPECT_EQ(FieldOf("Key=3,65", "=", 2), "3,65");
    EXPECT_EQ(FieldOf("3,65", ",", 1), "3");
    EXPECT_EQ(FieldOf("3,65", ",", 2), "65");
}

TEST(FieldOf, TextWithoutSeparatorIsBothFirstFieldsThenBroken) {
    EXPECT_EQ(FieldOf("[Graphics]", "=", 1), "[Graphics]");
    EXPECT_EQ(FieldOf("[Graphics]", "=", 2), "[Graphics]");
    EXPECT_EQ(FieldOf("[Graphics]", "=", 3), "-+-");
    EXPECT_EQ(FieldOf("[Graphics]", "=", 7), "-+-");
}

TEST(FieldOf, NumbersFieldsAndReportsPastTheLast) {
    EXPECT_EQ(FieldOf("a|b|c", "|", 1), "a");
    EXPECT_EQ(FieldOf("a|b|c", "|", 2), "b");
    EXPECT_EQ(FieldOf("a|b|c", "|", 3), "c");
    EXPECT_EQ(FieldOf("a|b|c", "|", 4), "-+-");
    EXPECT_EQ(FieldOf("alpha|beta", "|", 2), "beta");
    EXPECT_EQ(FieldOf("alpha|beta", "|", 3), "-+-");
}

TEST(FieldOf, EmptyFieldsBetweenAndAfterSeparators) {
    EXPECT_EQ(FieldOf("a||c", "|", 2), "");
    EXPECT_EQ(FieldOf("a||c", "|", 3), "c");
    EXPECT_EQ(FieldOf("a|", "|", 2), "");
    EXPECT_EQ(FieldOf("|b", "|", 1), "");
    EXPECT_EQ(FieldOf("|b", "|", 2), "b");
    EXPECT_EQ(FieldOf("", "|", 1), "");
    EXPECT_EQ(FieldOf("   ", "|", 1), "");
}

TEST(FieldOf, FieldZeroOrLessIsTheFirstField) {
    EXPECT_EQ(FieldOf("a|b", "|", 0), "a");
    EXPECT_EQ(FieldOf("a|b", "|", -3), "a");
}

TEST(TextHelpers, TrimUpperRight) {
    EXPECT_EQ(Trim(" \t\r\nabc d\x01 "), "abc d");
    EXPECT_EQ(Trim("\x1f\x20"), "");
    EXPECT_EQ(Upper("Gfx Engine = dx9 \xe9"), "GFX ENGINE = DX9 \xe9");
    EXPECT_EQ(Right("scores.dat", 3), "dat");
    EXPECT_EQ(Right("ab", 5), "ab");
    EXPECT_EQ(Right("ab", 0), "");
    EXPECT_EQ(Right("ab", -1), "");
}

TEST(ReadInt, DecimalWithBlanksAndSign) {
    EXPECT_EQ(ReadInt("1024"), 1024);
    EXPECT_EQ(ReadInt("   -1024"), -1024);
    EXPECT_EQ(ReadInt("\t+77"), 77);
    EXPECT_EQ(ReadInt("0"), 0);
    EXPECT_EQ(ReadInt("-0"), 0);
}

TEST(ReadInt, HexadecimalAndBinaryPrefixes) {
    EXPECT_EQ(ReadInt("$ff"), 255);
    EXPECT_EQ(ReadInt("$1A"), 26);
    EXPECT_EQ(ReadInt("-$10"), -16);
    EXPECT_EQ(ReadInt("%1011"), 11);
    EXPECT_EQ(ReadInt("%"), 0);
    EXPECT_EQ(ReadInt("$"), 0);
}

TEST(ReadInt, StopsAtTheFirstCharacterThatDoesNotFit) {
    EXPECT_EQ(ReadInt("12abc"), 12);
    EXPECT_EQ(ReadInt("1.5"), 1);
    EXPECT_EQ(ReadInt("250 ; loud"), 250);
    EXPECT_EQ(ReadInt("%1021"), 2); // 2 is not a binary digit
    EXPECT_EQ(ReadInt("$7g"), 7);   // g is not a hex digit
    EXPECT_EQ(ReadInt("1f"), 1);    // hex letters only after "$"
    EXPECT_EQ(ReadInt("- 5"), 0);   // no blank between sign and digits
    EXPECT_EQ(ReadInt("+-5"), 0);
}

TEST(ReadInt, NoDigitsGiveZero) {
    EXPECT_EQ(ReadInt(""), 0);
    EXPECT_EQ(ReadInt("   "), 0);
    EXPECT_EQ(ReadInt("True"), 0);
    EXPECT_EQ(ReadInt("-"), 0);
}

TEST(ReadInt, SixtyFourBitValuesAndWrapping) {
    EXPECT_EQ(ReadInt64("9000000000"), 9000000000LL);
    EXPECT_EQ(ReadInt64("-9000000000"), -9000000000LL);
    EXPECT_EQ(ReadInt64("$7FFFFFFFFFFFFFFF"), INT64_MAX);
    EXPECT_EQ(ReadInt64("$FFFFFFFFFFFFFFFF"), -1); // overflow wraps
    EXPECT_EQ(ReadInt("2147483647"), INT32_MAX);
    EXPECT_EQ(ReadInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(ReadInt("4294967296"), 0); // wraps to 32 bits
    EXPECT_EQ(ReadInt("9000000000"), 410065408);
}
