// The two quick-link actions: a backup request to the product's service, and the product's
// programs started and awaited.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of a backup request message buffer.
const size_t SK_REQUEST_BUFFER_BYTES = 0x10000;
// A request text longer than this is cut: its length travels in one byte.
const size_t SK_REQUEST_TEXT_MAX_CHARS = 255;

// Builds the backup request for the destination flags (0 is sent as 1) and the request text into
// a zeroed buffer of SK_REQUEST_BUFFER_BYTES; answers the message length, 2n + 9 bytes.
size_t buildBackupRequest(int32_t nLocations, const wchar_t* wcsText, unsigned char* pBuffer);
// Sends the request to the product's service; fire and forget.
void sendBackupRequest(int32_t nLocations, const wchar_t* wcsText);

int32_t SKBackupNow();
int32_t SKRejuvenate();
