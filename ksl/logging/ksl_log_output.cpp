#include "ksl_log_output.h"

#include "ksl_log_record.h"
#include "ksl_text_log.h"

bool kslDispatchRecord(CKSLLogRecord& record, unsigned short usOutputMask, const CKSLLogSettings& settings,
                       bool& bWritten)
{
    static const unsigned short s_order[] = {KSL_OUTPUT_TEXT, KSL_OUTPUT_XML, KSL_OUTPUT_HTML, KSL_OUTPUT_SERVER,
                                             KSL_OUTPUT_UNKNOWN};
    bool bResult = false;
    bWritten = false;
    for (unsigned short usOutput : s_order) {
        if (usOutputMask & usOutput) { // only the text output has a writer
            bResult = usOutput == KSL_OUTPUT_TEXT && CKSLTextLog::write(record, settings);
            bWritten = bWritten || bResult;
        }
    }
    return bResult;
}
