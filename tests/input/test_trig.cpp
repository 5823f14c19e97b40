#include <gtest/gtest.h>

#include <cstring>

#include "world/world.h"

namespace {

uint32_t bitsOf(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST(TrigTables, PiAsAFloatGivesTheseValues) {
    buildTrigTables();
    EXPECT_EQ(sineTable[0], 0.0f);
    EXPECT_EQ(cosineTable[0], 1.0f);
    EXPECT_EQ(sineTable[900], 1.0f);
    EXPECT_EQ(cosineTable[1800], -1.0f);
    EXPECT_NEAR(cosineTable[900], -4.371139e-8f, 1e-14f);
    EXPECT_NEAR(sineTable[1800], -8.742278e-8f, 1e-14f);
    EXPECT_NE(cosineTable[900], 0.0f);
    EXPECT_NEAR(sineTable[4500], 1.0f, 1e-6f);  // 450 degrees, read for headings past 270
    EXPECT_NEAR(sineTable[300], 0.5f, 1e-6f);
}

TEST(TrigTables, QuarterTurnLaterTheSineIsTheCosineOnlyToWithinRounding) {
    buildTrigTables();
    int differing = 0;
    for (int a = 0; a <= 3600; ++a) {
        // The float pi's error grows with the angle: at most 4500 * 8.8e-8 / 1800 apart.
        EXPECT_NEAR(sineTable[a + 900], cosineTable[a], 2.3e-7f) << "angle " << a;
        if (bitsOf(sineTable[a + 900]) != bitsOf(cosineTable[a])) ++differing;
    }
    // With an exact pi they would be equal everywhere; here they part for many angles.
    EXPECT_GT(differing, 3600 / 5);
    EXPECT_LT(differing, 3600);
}

}  // namespace

#if defined(__x86_64__)
// Compiled for a processor with fused multiply-add, as a -march=haswell build would be.
// With contraction allowed the compiler fuses this into one instruction rounded once.
__attribute__((target("fma"), noinline)) float productPlusSum(float a, float b, float c) {
    return a * b + c;
}

// Demos replay bit for bit only if the build never fuses a product and a sum: the
// build must pass -ffp-contract=off to every file, this one included.
TEST(FloatArithmetic, AProductIsRoundedBeforeItIsAdded) {
    if (!__builtin_cpu_supports("fma")) GTEST_SKIP() << "this processor has no fused multiply-add to test";
    volatile float a = 1.0f + 0x1p-12f;   // a * a = 1 + 2^-11 + 2^-24, a tie that rounds to 1 + 2^-11
    volatile float c = -(1.0f + 0x1p-11f);
    EXPECT_EQ(productPlusSum(a, a, c), 0.0f) << "fused: the exact 2^-24 survived";
}
#endif
