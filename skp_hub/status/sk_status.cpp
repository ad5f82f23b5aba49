#include "sk_status.h"

#include <windows.h>

#include <string>

#include "ksl_format.h"
#include "sk_date_format.h"
#include "sk_record_field.h"
#include "sk_resource.h"
#include "sk_shared_product_policy.h"
#include "sk_trace.h"

namespace {

const UINT kBackupNowName = 560;
const UINT kLastBackupTo = 559;
const UINT kNoBackupYet = 562;
const int32_t kLastBackupTimeHigh = 136;
const int32_t kLastBackupTimeLow = 137;
const size_t kNameChars = sizeof(LP_STATUS_INFO::szName) / sizeof(LP_WCHAR);
const size_t kStatusChars = sizeof(LP_STATUS_INFO::szStatusText) / sizeof(LP_WCHAR);

// The destination word of the first destination set, in the order local, USB, second disk,
// network. A backup to the second disk alone names it too, rather than leaving two blanks.
std::wstring locationWord(int32_t nLocations)
{
    static const struct {
        int32_t nFlag;
        UINT uWord;
    } kWords[] = {{SK_BACKUP_LOCAL, 454}, {SK_BACKUP_USB, 168}, {SK_BACKUP_SECOND_DISK, 166}, {SK_BACKUP_NETWORK, 169}};
    for (const auto& word : kWords)
        if (nLocations & word.nFlag)
            return SKLoadText(word.uWord);
    return std::wstring();
}

// The last backup time in the user's local calendar form; false (traced) when it cannot be had.
bool localBackupTime(uint32_t ulHigh, uint32_t ulLow, SYSTEMTIME& stLocal)
{
    FILETIME ftUtc{ulLow, ulHigh}, ftLocal{};
    if (!FileTimeToLocalFileTime(&ftUtc, &ftLocal)) {
        SKTrace(SK_TRACE_HUB, L"FileTimeToLocalFileTime FAILED");
        return false;
    }
    if (!FileTimeToSystemTime(&ftLocal, &stLocal)) {
        SKTrace(SK_TRACE_HUB, L"FileTimeToSystemTime FAILED");
        return false;
    }
    return true;
}

} // namespace

void buildStatusText(wchar_t* wcsBuffer, size_t nCapacity)
{
    if (!wcsBuffer || nCapacity == 0)
        return;
    CSKSharedProductPolicy policy;
    SKTrace(SK_TRACE_HUB, L"USER is Admin");
    uint32_t ulHigh = 0, ulLow = 0;
    policy.getDwordSetting(kLastBackupTimeHigh, ulHigh);
    policy.getDwordSetting(kLastBackupTimeLow, ulLow);
    SKTrace(SK_TRACE_HUB, L"Time High = %d", static_cast<int>(ulHigh));
    SKTrace(SK_TRACE_HUB, L"Time Low = %d", static_cast<int>(ulLow));
    const int32_t nLocations = policy.getBackupLocations();

    if (ulHigh == 0 && ulLow == 0) {
        kslFormat(wcsBuffer, nCapacity, L"%s", SKLoadText(kNoBackupYet).c_str());
        SKTrace(SK_TRACE_HUB, L"NO backup so far");
        return;
    }
    SYSTEMTIME stLocal{};
    if (!localBackupTime(ulHigh, ulLow, stLocal)) {
        // The launcher may not have cleared the record: no stale text is left standing.
        wcsBuffer[0] = L'\0';
        return;
    }
    wchar_t wcsDate[SK_DATE_TEXT_CHARS] = {};
    wchar_t wcsTime[SK_DATE_TEXT_CHARS] = {};
    SKFormatDate(stLocal, wcsDate);
    SKTrace(SK_TRACE_HUB, L"Return getSkpStatus string = %s", wcsDate);
    SKFormatTime(stLocal, wcsTime);
    const std::wstring location = locationWord(nLocations);
    const std::wstring lastBackupTo = SKLoadText(kLastBackupTo);
    SKTrace(SK_TRACE_HUB, L"szString %s szLocation %s szFmtString %s szTimeString %s", lastBackupTo.c_str(),
            location.c_str(), wcsDate, wcsTime);
    kslFormat(wcsBuffer, nCapacity, L"%s %s %s %s", lastBackupTo.c_str(), location.c_str(), wcsDate, wcsTime);
}

int32_t SKFillStatus(LP_STATUS_INFO& status)
{
    SKTrace(SK_TRACE_HUB, L"LP_GetStatus QUICKLINK-- Backupnow");
    kslFormat(field(status.szName), kNameChars, L"%s", SKLoadText(kBackupNowName).c_str());
    status.nStatusKind = 4;
    status.nStatusDetail = 0;
    buildStatusText(field(status.szStatusText), kStatusChars);
    status.szStatusExtra[0] = 0;
    return LP_OK;
}
