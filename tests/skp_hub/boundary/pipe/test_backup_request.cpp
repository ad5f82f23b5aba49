// The quick backup request, built by the plug-in and read by the service, checked against its
// bytes as the protocol lays them out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sk_backup_request.h"

namespace {

std::vector<unsigned char> request(int32_t nLocations, const wchar_t* text)
{
    std::vector<unsigned char> buffer(SK_REQUEST_BUFFER_BYTES, 0xEE);
    buffer.resize(buildBackupRequest(nLocations, text, buffer.data()));
    return buffer;
}

TEST(BackupRequest, HeaderTextAndTerminator)
{
    const auto message = request(0x18, L"Back up now!");
    const std::vector<unsigned char> expected = {0x32, 0x01, 0x18, 12,  0,   0,   0,   'B', 0, 'a', 0, 'c', 0,
                                                 'k',  0,    ' ',  0,   'u', 0,   'p', 0,   ' ', 0, 'n', 0, 'o',
                                                 0,    'w',  0,    '!', 0,   0,   0};
    EXPECT_EQ(expected, message) << "2n + 9 bytes for 12 characters";
}

TEST(BackupRequest, NoDestinationIsSentAsLocalAndAnEmptyTextIsNineBytes)
{
    const std::vector<unsigned char> expected = {0x32, 0x01, 0x01, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(expected, request(0, L""));
    EXPECT_EQ(expected, request(0, nullptr));
}

TEST(BackupRequest, AnOverlongTextIsCutSoItsLengthFitsItsByte)
{
    const std::wstring text(300, L'x');
    const auto message = request(1, text.c_str());
    EXPECT_EQ(2 * 255u + 9, message.size());
    EXPECT_EQ(255, message[3]);
}

TEST(BackupRequest, WhatIsBuiltReadsBackAsItWasMeant)
{
    for (const wchar_t* wcsText : {L"", L"Back up now", L"Sichern \x00fc\xD83D\xDE00"}) {
        const auto message = request(0x21, wcsText);
        SKBackupRequest parsed;
        ASSERT_TRUE(parseBackupRequest(message.data(), message.size(), parsed)) << message.size();
        EXPECT_EQ(0x21, parsed.byDestinations);
        EXPECT_EQ(std::wstring(wcsText), parsed.text);
    }
}

// A message not laid out as a request is refused whole and leaves the request as it was.
TEST(BackupRequest, AMessageNotLaidOutAsOneIsRefused)
{
    const auto good = request(0x01, L"ab");
    const struct {
        const char* wcsWhy;
        size_t nAt;     // byte to change, or npos
        unsigned char byValue;
        int nLengthChange;
    } kCases[] = {
        {"first byte", 0, 0x33, 0},   {"second byte", 1, 0x02, 0}, {"length byte", 3, 3, 0},
        {"byte 4", 4, 1, 0},          {"byte 6", 6, 1, 0},         {"terminator", 12, 'x', 0},
        {"one byte short", std::string::npos, 0, -1}, {"one byte more", std::string::npos, 0, +1},
        {"header only", std::string::npos, 0, -7},
    };
    for (const auto& c : kCases) {
        auto message = good;
        if (c.nAt != std::string::npos)
            message[c.nAt] = c.byValue;
        message.resize(message.size() + c.nLengthChange, 0);
        SKBackupRequest parsed;
        parsed.byDestinations = 0x77;
        EXPECT_FALSE(parseBackupRequest(message.data(), message.size(), parsed)) << c.wcsWhy;
        EXPECT_EQ(0x77, parsed.byDestinations) << c.wcsWhy;
    }
    SKBackupRequest untouched;
    EXPECT_FALSE(parseBackupRequest(nullptr, 9, untouched));
}

} // namespace
