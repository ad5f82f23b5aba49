// CKSLDblList: cursor, key search, ownership of payloads, copies and failure records.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "alloc_failure.h"
#include "ksl_dbllist.h"
#include "ksl_wchar_string.h"
#include "log_capture.h"

namespace {

using StringList = CKSLDblList<CKSLObjNode<CKSLWCharString>>;
using IntList = CKSLDblList<CKSLStdNode<long>>;
using IntPtrList = CKSLDblList<CKSLPtrNode<long>>;

// Polymorphic payloads that count how many of them are alive.
class Shape {
public:
    explicit Shape(int nSize) : m_nSize(nSize) { ++s_nAlive; }
    Shape(const Shape& other) : m_nSize(other.m_nSize) { ++s_nAlive; }
    virtual ~Shape() { --s_nAlive; }
    virtual Shape* clone() const { return new Shape(*this); }
    virtual const char* kind() const { return "shape"; }
    bool operator==(const Shape& other) const { return m_nSize == other.m_nSize; }
    int m_nSize;
    static int s_nAlive;
};
int Shape::s_nAlive = 0;

class Square : public Shape {
public:
    using Shape::Shape;
    Square* clone() const override { return new Square(*this); }
    const char* kind() const override { return "square"; }
};

using ShapeList = CKSLDblList<CKSLOwnedPtrNode<Shape>>;

template <class TList>
std::vector<typename TList::ValueType> valuesOf(TList& list)
{
    std::vector<typename TList::ValueType> values;
    typename TList::ValueType value{};
    if (list.moveFirst()) {
        do {
            EXPECT_TRUE(list.getCurrent(value));
            values.push_back(value);
        } while (list.moveNext());
    }
    return values;
}

template <class TList>
std::vector<long> keysOf(const TList& list)
{
    std::vector<long> keys;
    for (auto* pNode = list.getFirstNode(); pNode != nullptr; pNode = pNode->getNext())
        keys.push_back(pNode->getKey());
    return keys;
}

long current(IntList& list)
{
    long lValue = -1;
    EXPECT_TRUE(list.getCurrent(lValue));
    return lValue;
}

TEST(DblListCursor, StaysOnTheFirstNodeWhileAddingAndStopsAtTheEnds)
{
    IntList list;
    for (long l : {10L, 20L, 30L})
        ASSERT_TRUE(list.add(l, l / 10));
    EXPECT_EQ(3u, list.getCount());
    EXPECT_EQ(10, current(list));
    EXPECT_EQ(10, list.getFirstNode()->getPayload());
    EXPECT_EQ(30, list.getLastNode()->getPayload());

    EXPECT_TRUE(list.moveNext());
    EXPECT_TRUE(list.moveNext());
    EXPECT_EQ(30, current(list));
    EXPECT_FALSE(list.moveNext());
    EXPECT_EQ(30, current(list)) << "the cursor stays on the last node";

    ASSERT_TRUE(list.moveFirst());
    EXPECT_FALSE(list.movePrev());
    EXPECT_EQ(10, current(list));
}

TEST(DblListCursor, LinksRunBothWays)
{
    IntList list;
    for (long l = 1; l <= 4; ++l)
        list.add(l, 0);
    std::vector<long> backwards;
    for (auto* pNode = list.getLastNode(); pNode != nullptr; pNode = pNode->getPrev())
        backwards.push_back(pNode->getPayload());
    EXPECT_EQ((std::vector<long>{4, 3, 2, 1}), backwards);
}

TEST(DblListCursor, EmptyListHasNoCurrentNode)
{
    IntList list;
    long lValue = 7;
    EXPECT_FALSE(list.getCurrent(lValue));
    EXPECT_EQ(7, lValue);
    EXPECT_FALSE(list.setCurrent(1));
    EXPECT_FALSE(list.moveNext());
    EXPECT_FALSE(list.moveFirst());
    EXPECT_EQ(nullptr, list.getFirstNode());
}

TEST(DblListCursor, SetCurrentReplacesOnlyTheCursorPayload)
{
    StringList list;
    list.add(CKSLWCharString(L"one"), 1);
    list.add(CKSLWCharString(L"two"), 2);
    ASSERT_TRUE(list.moveNext());
    ASSERT_TRUE(list.setCurrent(CKSLWCharString(L"deux")));
    const std::vector<CKSLWCharString> values = valuesOf(list);
    ASSERT_EQ(2u, values.size());
    EXPECT_STREQ(L"one", values[0].getString());
    EXPECT_STREQ(L"deux", values[1].getString());
}

TEST(DblListFindKey, StopsOnTheFirstNodeWithTheKey)
{
    IntList list;
    list.add(100, 1);
    list.add(200, 2);
    list.add(300, 2);
    EXPECT_TRUE(list.findKey(2));
    EXPECT_EQ(200, current(list));
    EXPECT_TRUE(list.findKey(1));
    EXPECT_EQ(100, current(list));
}

TEST(DblListFindKey, MissingKeyLeavesTheCursorOnTheLastNode)
{
    IntList list;
    list.add(100, 1);
    list.add(200, 2);
    EXPECT_FALSE(list.findKey(9));
    EXPECT_EQ(200, current(list));
    IntList empty;
    EXPECT_FALSE(empty.findKey(0));
}

TEST(DblListClear, EmptyListClearsAndAListCanBeReused)
{
    IntList list;
    EXPECT_TRUE(list.clear());
    list.add(1, 0);
    list.add(2, 0);
    EXPECT_TRUE(list.clear());
    EXPECT_EQ(0u, list.getCount());
    EXPECT_EQ(nullptr, list.getFirstNode());
    EXPECT_EQ(nullptr, list.getCurrentNode());
    long lValue = 0;
    EXPECT_FALSE(list.getCurrent(lValue));
    list.add(3, 0);
    EXPECT_EQ(3, current(list));
}

TEST(DblListOwnership, OwnedObjectsDieWithTheirNodes)
{
    {
        ShapeList list;
        list.add(new Shape(1), 0);
        list.add(new Square(2), 0);
        EXPECT_EQ(2, Shape::s_nAlive);
        ASSERT_TRUE(list.moveNext());
        list.setCurrent(new Shape(3)); // the square is replaced and deleted
        EXPECT_EQ(2, Shape::s_nAlive);
        list.clear();
        EXPECT_EQ(0, Shape::s_nAlive);
        list.add(new Shape(4), 0);
    }
    EXPECT_EQ(0, Shape::s_nAlive) << "the destructor clears the list";
}

TEST(DblListCopy, PointerPayloadsAreIndependentCopies)
{
    IntPtrList original;
    original.add(1, 11);
    original.add(2, 22);
    IntPtrList copy;
    copy.add(99, 0); // replaced by the copy
    const bool bCopied = (copy = original);
    ASSERT_TRUE(bCopied);
    EXPECT_EQ((std::vector<long>{11, 22}), keysOf(copy));
    ASSERT_TRUE(copy.moveFirst());
    ASSERT_TRUE(copy.setCurrent(5));
    EXPECT_EQ((std::vector<long>{5, 2}), valuesOf(copy));
    EXPECT_EQ((std::vector<long>{1, 2}), valuesOf(original));
    EXPECT_NE(&original.getFirstNode()->getPayload(), &copy.getFirstNode()->getPayload());
}

TEST(DblListCopy, OwnedObjectsAreClonedWithTheirOwnType)
{
    ShapeList original;
    original.add(new Square(7), 3);
    {
        ShapeList copy;
        const bool bCopied = (copy = original);
        ASSERT_TRUE(bCopied);
        ASSERT_EQ(1u, copy.getCount());
        Shape* pCopied = nullptr;
        Shape* pOriginal = nullptr;
        ASSERT_TRUE(copy.getCurrent(pCopied));
        ASSERT_TRUE(original.getCurrent(pOriginal));
        EXPECT_NE(pOriginal, pCopied);
        EXPECT_STREQ("square", pCopied->kind());
        EXPECT_EQ(3, copy.getFirstNode()->getKey());
        pCopied->m_nSize = 8;
        EXPECT_EQ(7, pOriginal->m_nSize);
        EXPECT_EQ(2, Shape::s_nAlive);
    }
    EXPECT_EQ(1, Shape::s_nAlive);
}

TEST(DblListNodes, ComparisonsFollowThePayload)
{
    StringList strings;
    strings.add(CKSLWCharString(L"abc"), 0);
    const auto& stringNode = *strings.getFirstNode();
    EXPECT_TRUE(stringNode == CKSLWCharString(L"abc"));
    EXPECT_TRUE(stringNode != CKSLWCharString(L"abd"));
    EXPECT_TRUE(stringNode < CKSLWCharString(L"abd"));

    IntList numbers;
    numbers.add(5, 0);
    EXPECT_TRUE(*numbers.getFirstNode() > 4);
    EXPECT_FALSE(*numbers.getFirstNode() < 5);

    ShapeList shapes;
    shapes.add(new Shape(5), 0);
    Shape same(5);
    Shape other(6);
    const auto& shapeNode = *shapes.getFirstNode();
    EXPECT_TRUE(shapeNode == &same);
    EXPECT_TRUE(shapeNode != &other);
    EXPECT_FALSE(shapeNode < &other);
    EXPECT_FALSE(shapeNode > &same);
}

// Failures write their records; logging goes to this test's own file.
class DblListFailureTest : public LogCaptureTest {};

TEST_F(DblListFailureTest, FailedNodeAllocationLeavesTheListUnchanged)
{
    IntList list;
    list.add(1, 0);
    bool bAdded = true;
    {
        FailNextAllocation failOnce;
        bAdded = list.add(2, 0);
    }
    EXPECT_FALSE(bAdded);
    EXPECT_EQ((std::vector<long>{1}), valuesOf(list));
    EXPECT_TRUE(logHas(L"\"Unable to allocate memory ( pNewNode )\""));
}

TEST_F(DblListFailureTest, ObjectHandedToAFailedAddIsNotLost)
{
    ShapeList list;
    Shape* pShape = new Shape(1);
    bool bAdded = true;
    {
        FailNextAllocation failOnce;
        bAdded = list.add(pShape, 0);
    }
    EXPECT_FALSE(bAdded);
    EXPECT_EQ(0u, list.getCount());
    EXPECT_EQ(0, Shape::s_nAlive);
}

TEST_F(DblListFailureTest, CopyStopsAtTheFirstFailedNode)
{
    IntPtrList original;
    for (long l = 1; l <= 3; ++l)
        original.add(l, l);
    IntPtrList copy;
    bool bCopied = true;
    {
        // The first node and its value are made, the second node is not.
        FailNextAllocation failThird(3);
        bCopied = (copy = original);
    }
    EXPECT_FALSE(bCopied);
    EXPECT_EQ((std::vector<long>{1}), valuesOf(copy));
    EXPECT_TRUE(logHas(L"\"Unable to allocate memory ( pNode )\""));
}

// A payload whose destructor throws: the node reports it and the list still empties.
struct Brittle {
    Brittle() = default;
    Brittle(const Brittle&) = default;
    ~Brittle() noexcept(false)
    {
        if (bThrow)
            throw 1;
    }
    bool bThrow = false;
};

TEST_F(DblListFailureTest, PayloadThatFailsToDieIsReportedAndTheWalkGoesOn)
{
    CKSLDblList<CKSLPtrNode<Brittle>> list;
    Brittle brittle;
    list.add(brittle, 0);
    list.add(brittle, 0);
    brittle.bThrow = true;
    EXPECT_TRUE(list.moveFirst());
    EXPECT_TRUE(list.setCurrent(brittle));
    EXPECT_TRUE(list.clear());
    EXPECT_EQ(0u, list.getCount());
    EXPECT_EQ(1u, logCount(L"\"Unable to free memory ( m_pPointer )\""));
    brittle.bThrow = false;
}

} // namespace
