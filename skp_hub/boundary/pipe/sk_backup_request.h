// The quick backup request, the one message the plug-in sends the product's service on its pipe:
//   byte 0    0x32 (the digit "2")
//   byte 1    0x01
//   byte 2    the backup destination flags (SK_BACKUP_* of sk_product_policy.h); 0 is sent as 1
//   byte 3    n, the length of the request text in characters
//   bytes 4-6 zero
//   then the text, n UTF-16LE characters from the odd offset 7, and its two-byte terminator:
//   2n + 9 bytes in all. No reply is read.
// Built by the plug-in's back-up-now action and read by the service (the stand-in in
// tools/sk_service), both through this one description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Bytes of a backup request message buffer.
const size_t SK_REQUEST_BUFFER_BYTES = 0x10000;
// A request text longer than this is cut: its length travels in one byte.
const size_t SK_REQUEST_TEXT_MAX_CHARS = 255;

// Builds the request for the destination flags and the text into a zeroed buffer of
// SK_REQUEST_BUFFER_BYTES; answers the message length.
size_t buildBackupRequest(int32_t nLocations, const wchar_t* wcsText, unsigned char* pBuffer);

struct SKBackupRequest {
    uint8_t byDestinations = 0;
    std::wstring text;
};

// Reads a message as a backup request. False, with the request untouched, for a message not laid
// out as one: another first byte or second byte, a length other than 2n + 9, bytes 4 to 6 not
// zero, or no terminator after the text.
bool parseBackupRequest(const unsigned char* pMessage, size_t cbMessage, SKBackupRequest& request);
