#include "sk_backup_request.h"

#include <cstring>
#include <cwchar>

namespace {

const unsigned char kRequestCode = 0x32;
const unsigned char kRequestVersion = 0x01;
const size_t kTextOffset = 7;
const size_t kFixedBytes = 9; // the header and the text's terminator

} // namespace

size_t buildBackupRequest(int32_t nLocations, const wchar_t* wcsText, unsigned char* pBuffer)
{
    std::memset(pBuffer, 0, SK_REQUEST_BUFFER_BYTES);
    const size_t nChars = wcsText ? wcsnlen(wcsText, SK_REQUEST_TEXT_MAX_CHARS) : 0;
    pBuffer[0] = kRequestCode;
    pBuffer[1] = kRequestVersion;
    pBuffer[2] = static_cast<unsigned char>(nLocations == 0 ? 1 : nLocations);
    pBuffer[3] = static_cast<unsigned char>(nChars);
    std::memcpy(pBuffer + kTextOffset, wcsText, nChars * sizeof(wchar_t));
    return 2 * nChars + kFixedBytes; // the text's terminator is the zero after it
}

bool parseBackupRequest(const unsigned char* pMessage, size_t cbMessage, SKBackupRequest& request)
{
    if (pMessage == nullptr || cbMessage < kFixedBytes || pMessage[0] != kRequestCode ||
        pMessage[1] != kRequestVersion || (pMessage[4] | pMessage[5] | pMessage[6]) != 0)
        return false;
    const size_t nChars = pMessage[3];
    if (cbMessage != 2 * nChars + kFixedBytes || pMessage[cbMessage - 2] != 0 || pMessage[cbMessage - 1] != 0)
        return false;
    std::wstring text(nChars, L'\0');
    for (size_t i = 0; i < nChars; ++i) // the text starts at an odd offset
        text[i] = static_cast<wchar_t>(pMessage[kTextOffset + 2 * i] | pMessage[kTextOffset + 2 * i + 1] << 8);
    request.byDestinations = pMessage[2];
    request.text = std::move(text);
    return true;
}
