// The record exchange shared by the catalogue and status queries.
#pragma once

#include <cstdint>

// Runs the protocol up to the point where the record is to be filled: null size pointer (2),
// product not installed (record zeroed from byte 4 up to the smaller of the size and cbRecord,
// size 0, 0), size query (0), too small (1).
// Answers true with nResult untouched when the caller is to fill the record.
bool SKRunRecordProtocol(void* pRecord, uint32_t* pcbSize, uint32_t cbRecord, int32_t& nResult);
