// The outputs of the log: a record that passed the filter goes to each output its mask names.
// Only the text file (ksl_text_log) has a writer; the XML, HTML, server and further outputs take
// nothing and report failure.
#pragma once

class CKSLLogRecord;
class CKSLLogSettings;

// Hands the record to each output of the mask, in the order 1, 2, 8, 4, 32; the result is that of
// the last output handled (false when none). bWritten tells whether any output took the record,
// so that it counts as logged even when a later output failed.
bool kslDispatchRecord(CKSLLogRecord& record, unsigned short usOutputMask, const CKSLLogSettings& settings,
                       bool& bWritten);
