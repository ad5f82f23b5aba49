#include <gtest/gtest.h>

#include <vector>

#include "foundation_test.h"
#include "ksl_buffer.h"

namespace {

class BufferTest : public FoundationTest {};

// A wide buffer holding the given elements.
CKSLWCharBuffer wide(std::initializer_list<wchar_t> elements)
{
    const std::vector<wchar_t> v(elements);
    return CKSLWCharBuffer(v.data(), static_cast<unsigned long>(v.size()));
}

std::vector<wchar_t> elementsOf(const CKSLWCharBuffer& buffer)
{
    return std::vector<wchar_t>(buffer.getBuffer(), buffer.getBuffer() + buffer.getCount());
}

typedef std::vector<wchar_t> W;

TEST_F(BufferTest, ConstructorsSizeExactlyAndZeroFill)
{
    CKSLWCharBuffer empty;
    EXPECT_FALSE(empty.isValid());
    EXPECT_EQ(0u, empty.getCount());

    CKSLByteBuffer bytes(5);
    ASSERT_EQ(5u, bytes.getCount());
    for (unsigned long i = 0; i < 5; ++i)
        EXPECT_EQ(0, bytes.valueAt(i));

    const wchar_t source[] = {L'a', L'b'};
    EXPECT_EQ((W{0, 0, L'a', L'b'}), elementsOf(CKSLWCharBuffer(source, 2, 2)));
    EXPECT_EQ((W{0, 0, 0}), elementsOf(CKSLWCharBuffer(nullptr, 3, 7)));
}

TEST_F(BufferTest, CopiesAreDeepAndMovesTakeTheBlock)
{
    CKSLWCharBuffer original = wide({1, 2, 3});
    CKSLWCharBuffer copy(original);
    copy.elementAt(0) = 9;
    EXPECT_EQ(1, original.valueAt(0));

    CKSLWCharBuffer assigned = wide({7});
    assigned = original;
    EXPECT_EQ((W{1, 2, 3}), elementsOf(assigned));
    assigned = assigned; // self-assignment keeps the contents
    EXPECT_EQ((W{1, 2, 3}), elementsOf(assigned));

    CKSLWCharBuffer moved(static_cast<CKSLWCharBuffer&&>(original));
    EXPECT_FALSE(original.isValid());
    EXPECT_EQ(3u, moved.getCount());
}

TEST_F(BufferTest, CreateDestroyResize)
{
    CKSLWCharBuffer buffer = wide({1, 2, 3});
    EXPECT_TRUE(buffer.create(0));
    EXPECT_FALSE(buffer.isValid());
    EXPECT_TRUE(buffer.destroy());

    buffer = wide({1, 2, 3});
    ASSERT_TRUE(buffer.resize(5));
    EXPECT_EQ((W{1, 2, 3, 0, 0}), elementsOf(buffer));
    ASSERT_TRUE(buffer.resize(2));
    EXPECT_EQ((W{1, 2}), elementsOf(buffer));
    ASSERT_TRUE(buffer.resize(0));
    EXPECT_FALSE(buffer.isValid());
}

TEST_F(BufferTest, FillAndClear)
{
    CKSLWCharBuffer buffer = wide({1, 2, 3});
    ASSERT_TRUE(buffer.fill(L'x', 1));
    EXPECT_EQ((W{1, L'x', L'x'}), elementsOf(buffer));
    EXPECT_FALSE(buffer.fill(L'y', 3));
    EXPECT_EQ(1u, countBadArg(L"ulOffset", L"value is out of bounds"));
    EXPECT_TRUE(buffer.clear());
    EXPECT_EQ((W{0, 0, 0}), elementsOf(buffer));

    // An empty wide buffer clears through fill and reports the offset; bytes just need a block.
    CKSLWCharBuffer emptyWide;
    EXPECT_FALSE(emptyWide.clear());
    EXPECT_EQ(2u, countBadArg(L"ulOffset", L"value is out of bounds"));
    CKSLByteBuffer emptyBytes;
    EXPECT_FALSE(emptyBytes.clear());
}

TEST_F(BufferTest, ElementAccessThrowsPastTheCount)
{
    CKSLWCharBuffer buffer = wide({4, 5});
    EXPECT_EQ(5, buffer.valueAt(1));
    EXPECT_THROW(buffer.valueAt(2), CKSLIndexOutOfBoundsException);
    EXPECT_THROW(buffer.elementAt(100), CKSLIndexOutOfBoundsException);
    EXPECT_THROW(CKSLWCharBuffer().valueAt(0), CKSLIndexOutOfBoundsException);
}

TEST_F(BufferTest, AppendAndAppendAt)
{
    CKSLWCharBuffer buffer = wide({1, 2});
    ASSERT_TRUE(buffer.append(wide({3})));
    EXPECT_EQ((W{1, 2, 3}), elementsOf(buffer));
    ASSERT_TRUE(buffer.append(buffer)); // appending itself reads the old contents
    EXPECT_EQ((W{1, 2, 3, 1, 2, 3}), elementsOf(buffer));

    CKSLWCharBuffer five = wide({1, 2, 3, 4, 5});
    ASSERT_TRUE(five.appendAt(wide({8, 9}), 1));
    EXPECT_EQ((W{1, 8, 9}), elementsOf(five));

    five = wide({1, 2, 3, 4, 5});
    EXPECT_FALSE(five.appendAt(wide({8}), 6));
    EXPECT_EQ(1u, countBadArg(L"ulOffset", L"can't append a buffer at an offset past the bounds of this buffer"));
    EXPECT_EQ(5u, five.getCount());
    ASSERT_TRUE(five.appendAt(wide({8}), 5));
    EXPECT_EQ((W{1, 2, 3, 4, 5, 8}), elementsOf(five));
}

TEST_F(BufferTest, WriteChecksRoomUnlessGrowing)
{
    CKSLWCharBuffer buffer = wide({1, 2, 3, 4, 5});
    EXPECT_FALSE(buffer.write(wide({7, 8, 9}), 3, false));
    EXPECT_EQ(1u, countBadArg(L"buffer", L"buffer + offset will overrun this buffer"));
    EXPECT_EQ((W{1, 2, 3, 4, 5}), elementsOf(buffer));

    ASSERT_TRUE(buffer.write(wide({7, 8, 9}), 3, true));
    EXPECT_EQ((W{1, 2, 3, 7, 8, 9}), elementsOf(buffer));
    ASSERT_TRUE(buffer.write(wide({6}), 0));
    EXPECT_EQ(6, buffer.valueAt(0));

    EXPECT_FALSE(buffer.write(CKSLWCharBuffer(), 0, true));
    EXPECT_EQ(1u, countBadArg(L"buffer", L"buffer is of zero size - can't write"));
    // An offset so large that offset + count wraps must not pass the room check.
    EXPECT_FALSE(buffer.write(wide({1, 2}), 0xFFFFFFFFul, false));
}

TEST_F(BufferTest, ReadElementsWithinTheCount)
{
    const CKSLWCharBuffer five = wide({1, 2, 3, 4, 5});
    CKSLWCharBuffer dest = wide({9});

    unsigned long ulNum = 4;
    EXPECT_FALSE(five.readElements(dest, 3, ulNum));
    EXPECT_EQ(2u, ulNum);
    EXPECT_FALSE(dest.isValid());
    EXPECT_EQ(1u, countBadArg(L"ulNumElems + ulOffset", L"can't read more elements than are in this buffer"));

    ulNum = 2;
    ASSERT_TRUE(five.readElements(dest, 3, ulNum));
    EXPECT_EQ((W{4, 5}), elementsOf(dest));

    ulNum = 0;
    EXPECT_TRUE(five.readElements(dest, 99, ulNum));
    EXPECT_FALSE(dest.isValid());

    // An offset past the count leaves nothing readable (no wrapped count).
    ulNum = 1;
    EXPECT_FALSE(five.readElements(dest, 9, ulNum));
    EXPECT_EQ(0u, ulNum);

    // Reading into itself keeps the elements read.
    CKSLWCharBuffer self = wide({1, 2, 3});
    ulNum = 2;
    ASSERT_TRUE(self.readElements(self, 1, ulNum));
    EXPECT_EQ((W{2, 3}), elementsOf(self));
}

TEST_F(BufferTest, WideAndByteConversions)
{
    const CKSLWCharBuffer text = wide({0x4241, 0x0043});
    const CKSLByteBuffer bytes = text.convertTo<BYTE>();
    ASSERT_EQ(4u, bytes.getCount());
    EXPECT_EQ(0x41, bytes.valueAt(0));
    EXPECT_EQ(0x42, bytes.valueAt(1));
    EXPECT_EQ(0x43, bytes.valueAt(2));
    EXPECT_EQ(0x00, bytes.valueAt(3));

    const BYTE odd[] = {0x41, 0x42, 0x43};
    const CKSLWCharBuffer back = CKSLByteBuffer(odd, 3).convertTo<wchar_t>();
    EXPECT_EQ((W{0x4241, 0x0043}), elementsOf(back));
    EXPECT_FALSE(CKSLByteBuffer().convertTo<wchar_t>().isValid());
}

TEST_F(BufferTest, NothingIsLoggedWithLoggingOff)
{
    ASSERT_TRUE(setRegDword(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, L"Logging", 0));
    CKSLWCharBuffer buffer = wide({1});
    EXPECT_FALSE(buffer.fill(0, 5));
    EXPECT_EQ(L"", logText());
}

} // namespace
