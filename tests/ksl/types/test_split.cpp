// CKSLWCharString::split: every field of a delimited text, in a list keyed 0, 1, 2, ...
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ksl_wchar_string.h"

namespace {

using StringList = CKSLDblList<CKSLObjNode<CKSLWCharString>>;

const CKSLFlags kNoSides(0);
const CKSLFlags kBothSides(CKSLWCharString::sideBoth);
const CKSLFlags kAllWhiteSpace(CKSLWCharString::wsAll);

// The fields as texts, checking on the way that the keys count up from 0.
std::vector<std::wstring> fieldsOf(const StringList& list)
{
    std::vector<std::wstring> fields;
    for (auto* pNode = list.getFirstNode(); pNode != nullptr; pNode = pNode->getNext()) {
        EXPECT_EQ(static_cast<long>(fields.size()), pNode->getKey());
        fields.push_back(pNode->getPayload().getString());
    }
    return fields;
}

std::vector<std::wstring> split(const wchar_t* wcsText, const wchar_t* wcsDelimiter,
                                unsigned long ulMode = CKSLWCharString::pmFromStart, const CKSLFlags& sides = kBothSides)
{
    StringList list;
    CKSLWCharString(wcsText).split(list, wcsDelimiter, ulMode, sides, kAllWhiteSpace);
    return fieldsOf(list);
}

using Fields = std::vector<std::wstring>;

TEST(Split, FieldsInOrderWithWhiteSpaceRemovedAsAsked)
{
    EXPECT_EQ((Fields{L"a", L"b", L"c"}), split(L"a, b ,\tc", L","));
    EXPECT_EQ((Fields{L"a", L" b ", L"\tc"}), split(L"a, b ,\tc", L",", CKSLWCharString::pmFromStart, kNoSides));
    EXPECT_EQ((Fields{L"key", L"value"}), split(L"key==value", L"=="));
}

TEST(Split, EmptyFieldsAreKept)
{
    EXPECT_EQ((Fields{L"a", L"", L"b", L""}), split(L"a,,b,", L","));
    EXPECT_EQ((Fields{L"", L""}), split(L",", L","));
}

TEST(Split, TextWithoutDelimiterIsOneField)
{
    EXPECT_EQ((Fields{L"whole-text"}), split(L"whole-text", L";"));
}

TEST(Split, FromTheEndGivesEveryFieldLastFirst)
{
    EXPECT_EQ((Fields{L"e", L"d", L"c", L"b", L"a"}), split(L"a,b,c,d,e", L",", CKSLWCharString::pmFromEnd));
    EXPECT_EQ((Fields{L"only"}), split(L"only", L",", CKSLWCharString::pmFromEnd));
}

TEST(Split, ReplacesWhatTheListHeldAndFailsOnNothingToSplit)
{
    StringList list;
    list.add(CKSLWCharString(L"old"), 7);
    EXPECT_TRUE(CKSLWCharString(L"x|y").split(list, L"|", CKSLWCharString::pmFromStart, kBothSides, kAllWhiteSpace));
    EXPECT_EQ((Fields{L"x", L"y"}), fieldsOf(list));

    EXPECT_FALSE(CKSLWCharString().split(list, L"|", CKSLWCharString::pmFromStart, kBothSides, kAllWhiteSpace));
    EXPECT_EQ(0u, list.getCount());
    EXPECT_FALSE(CKSLWCharString(L"x|y").split(list, L"", CKSLWCharString::pmFromStart, kBothSides, kAllWhiteSpace));
    EXPECT_EQ(0u, list.getCount());
}

} // namespace
