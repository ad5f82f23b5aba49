#include <gtest/gtest.h>

#include "foundation_test.h"
#include "ksl_flags.h"

namespace {

class FlagsTest : public FoundationTest {};

TEST_F(FlagsTest, HasFlagsNeedsEveryBitOfTheMask)
{
    const CKSLFlags flags(0x0C);
    EXPECT_TRUE(flags.hasFlags(0));
    EXPECT_TRUE(flags.hasFlags(4));
    EXPECT_TRUE(flags.hasFlags(0x0C));
    EXPECT_FALSE(flags.hasFlags(6));
    EXPECT_TRUE(CKSLFlags(0).hasFlags(0));
}

TEST_F(FlagsTest, GetIndexGivesTheHighestBitOfTheMask)
{
    const CKSLFlags flags(0x0C);
    unsigned long ulIndex = 99;
    EXPECT_FALSE(flags.getIndex(0, ulIndex));
    EXPECT_FALSE(flags.getIndex(1, ulIndex));
    EXPECT_EQ(99u, ulIndex);
    ASSERT_TRUE(flags.getIndex(8, ulIndex));
    EXPECT_EQ(3u, ulIndex);
    ASSERT_TRUE(flags.getIndex(0x0C, ulIndex));
    EXPECT_EQ(3u, ulIndex);
    ASSERT_TRUE(CKSLFlags(0x80000001).getIndex(0x80000000, ulIndex));
    EXPECT_EQ(31u, ulIndex);
    ASSERT_TRUE(CKSLFlags(1).getIndex(1, ulIndex));
    EXPECT_EQ(0u, ulIndex);
}

TEST_F(FlagsTest, InequalityComparesTheBits)
{
    EXPECT_FALSE(CKSLFlags(3) != CKSLFlags(3));
    EXPECT_TRUE(CKSLFlags(3) != CKSLFlags(1));
}

TEST_F(FlagsTest, OperationsAreTracedWhenEntryAndExitAreLogged)
{
    setLogDetail(256 | 512);
    EXPECT_FALSE(CKSLFlags(0x0C).hasFlags(6));
    EXPECT_EQ(2u, logCount(L"<ENTRY> "));
    EXPECT_EQ(2u, logCount(L"<EXIT> "));
    EXPECT_EQ(1u, logCount(L"<CKSLFlags::CKSLFlags> <Passed>"));
    EXPECT_EQ(1u, logCount(L"<CKSLFlags::hasFlags> <Failed Logical Result>"));
}

} // namespace
