#include "ksl_log_settings.h"

#include <cwchar>

#include "ksl_last_error_guard.h"
#include "ksl_log_record.h"
#include "ksl_logging.h"
#include "ksl_scoped_handle.h"
#include "ksl_text_log.h"

const wchar_t* const CKSLLogSettings::s_wcsKeyPath = L"SOFTWARE\\Tessil\\Logs";

namespace {

const unsigned short s_usDefaultDetail = 27; // CRITICAL, EXCEPTION_BAD, ERROR, WARNING
const unsigned short s_usExitRules = 0x7000;
const unsigned short s_usExitNonZeroError = 0x1000;
const unsigned short s_usExitFalseBoolean = 0x2000;
const unsigned short s_usExitFalseLogical = 0x4000;

// Byte sizes of the texts the logging key holds.
const DWORD s_cbObjectList = 1024;
const int s_nOverridePathChars = 256;
const int s_nOverrideChars = s_nOverridePathChars + 2 * 12; // two numbers and two commas

// Opens the logging key, reads one value into cbData bytes and closes the key again; the
// stored type is not checked.
bool queryLogValue(const wchar_t* wcsName, void* pData, DWORD& cbData)
{
    CKSLScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return false;
    return RegQueryValueExW(key.get(), wcsName, nullptr, nullptr, static_cast<BYTE*>(pData), &cbData) == ERROR_SUCCESS;
}

const wchar_t* outputValueName(unsigned short usOutputType)
{
    switch (usOutputType) {
    case KSL_OUTPUT_TEXT: return L"TextOutput";
    case KSL_OUTPUT_XML: return L"XMLOutput";
    case KSL_OUTPUT_SERVER: return L"ServerOutput";
    case KSL_OUTPUT_HTML: return L"HTMLOutput";
    case KSL_OUTPUT_UNKNOWN: return L"UnknownOutput";
    default: return nullptr;
    }
}

} // namespace

bool CKSLLogSettings::readDword(const wchar_t* wcsName, DWORD& dwValue) const
{
    CKSLLastErrorGuard keepError;
    DWORD dwRead = 0;
    DWORD cbData = sizeof(dwRead);
    if (!queryLogValue(wcsName, &dwRead, cbData))
        return false;
    dwValue = dwRead;
    return true;
}

bool CKSLLogSettings::readText(const wchar_t* wcsName, wchar_t* wcsBuffer, DWORD cbBuffer) const
{
    CKSLLastErrorGuard keepError;
    const DWORD nCapacity = cbBuffer / sizeof(wchar_t);
    if (wcsBuffer == nullptr || nCapacity == 0)
        return false;
    DWORD cbData = nCapacity * sizeof(wchar_t);
    if (!queryLogValue(wcsName, wcsBuffer, cbData)) {
        wcsBuffer[0] = L'\0';
        return false;
    }
    // Registry texts need not be terminated: terminate after the data, or inside it when it
    // already ends in a terminator; a full buffer without one is a value too long to use.
    const DWORD nChars = cbData / sizeof(wchar_t);
    if (nChars > 0 && wcsBuffer[nChars - 1] == L'\0')
        return true;
    if (nChars < nCapacity) {
        wcsBuffer[nChars] = L'\0';
        return true;
    }
    wcsBuffer[0] = L'\0';
    return false;
}

bool CKSLLogSettings::isLoggingOn() const
{
    DWORD dwLogging = 0;
    return readDword(L"Logging", dwLogging) && dwLogging != 0;
}

unsigned short CKSLLogSettings::getLogDetail() const
{
    DWORD dwDetail = 0;
    if (!readDword(L"LogDetail", dwDetail))
        return s_usDefaultDetail;
    return static_cast<unsigned short>(dwDetail & 0xFFFF);
}

bool CKSLLogSettings::getOutputPath(unsigned short usOutputType, wchar_t* wcsBuffer, DWORD cbBuffer) const
{
    const wchar_t* wcsName = outputValueName(usOutputType);
    return wcsName != nullptr && readText(wcsName, wcsBuffer, cbBuffer);
}

bool CKSLLogSettings::programName(wchar_t* wcsBuffer, int nCapacity)
{
    CKSLLastErrorGuard keepError;
    wchar_t wcsPath[MAX_PATH + 1];
    const DWORD nLength = GetModuleFileNameW(nullptr, wcsPath, MAX_PATH + 1);
    if (nLength == 0 || nLength > MAX_PATH)
        return false; // failed, or cut (the name would be wrong)
    const wchar_t* wcsName = wcsPath;
    for (const wchar_t* p = wcsPath; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/')
            wcsName = p + 1;
    }
    const wchar_t* wcsDot = wcsrchr(wcsName, L'.');
    const size_t nNameChars = wcsDot != nullptr ? static_cast<size_t>(wcsDot - wcsName) : wcslen(wcsName);
    if (nNameChars == 0 || nNameChars >= static_cast<size_t>(nCapacity))
        return false;
    wmemcpy(wcsBuffer, wcsName, nNameChars);
    wcsBuffer[nNameChars] = L'\0';
    return true;
}

bool CKSLLogSettings::parseOverride(const wchar_t* wcsText, unsigned short& usOutputMask, unsigned short& usDetailFlags)
{
    const wchar_t* wcsFirstComma = wcschr(wcsText, L',');
    if (wcsFirstComma == nullptr)
        return false; // no path part
    // _wtoi stops at the next comma, so each number is read from where its field starts.
    usOutputMask = static_cast<unsigned short>(_wtoi(wcsText));
    usDetailFlags = static_cast<unsigned short>(_wtoi(wcsFirstComma + 1));
    return true;
}

bool CKSLLogSettings::passesDetail(const CKSLLogRecord& record, unsigned short usDetailFlags)
{
    const unsigned long ulLevel = record.getLevel();
    if ((ulLevel & ~static_cast<unsigned long>(usDetailFlags)) != 0)
        return false;
    if (ulLevel != KSL_LOG_EXIT)
        return true;
    const long lValue = record.getValue();
    switch (record.getResultKind()) {
    case KSL_RESULT_ERROR_CODE:
        if (usDetailFlags & s_usExitNonZeroError)
            return lValue != 0;
        break;
    case KSL_RESULT_BOOLEAN:
        if (usDetailFlags & s_usExitFalseBoolean)
            return lValue == 0;
        break;
    case KSL_RESULT_LOGICAL:
        if (usDetailFlags & s_usExitFalseLogical)
            return lValue == 0;
        break;
    default:
        break;
    }
    return (usDetailFlags & s_usExitRules) == 0;
}

bool CKSLLogSettings::passesClassFilter(const CKSLLogRecord& record) const
{
    const wchar_t* wcsClass = record.getClassName();
    if (wcsClass == nullptr)
        return true;
    wchar_t wcsList[s_cbObjectList / sizeof(wchar_t)];
    if (readText(L"AllowObjects", wcsList, sizeof(wcsList)))
        return wcsstr(wcsList, wcsClass) != nullptr;
    if (readText(L"ExcludeObjects", wcsList, sizeof(wcsList)))
        return wcsstr(wcsList, wcsClass) == nullptr;
    return true;
}

bool CKSLLogSettings::filter(CKSLLogRecord& record, unsigned short& usOutputMask, unsigned short& usDetailFlags) const
{
    if (!isLoggingOn())
        return false;
    if (record.getObjectName() == nullptr) {
        wchar_t wcsProgram[MAX_PATH];
        if (!programName(wcsProgram, MAX_PATH))
            return false;
        record.setObjectName(wcsProgram);
    }
    wchar_t wcsOverride[s_nOverrideChars + 1];
    const wchar_t* wcsObject = record.getObjectName();
    if (wcsObject != nullptr && readText(wcsObject, wcsOverride, sizeof(wcsOverride)) &&
        parseOverride(wcsOverride, usOutputMask, usDetailFlags)) {
        // A program named in the key logs whatever the level.
    } else {
        usDetailFlags = getLogDetail();
        if (!passesDetail(record, usDetailFlags))
            return false;
    }
    return passesClassFilter(record);
}

bool CKSLLogSettings::dispatch(CKSLLogRecord& record, unsigned short usOutputMask) const
{
    static const unsigned short s_order[] = {KSL_OUTPUT_TEXT, KSL_OUTPUT_XML, KSL_OUTPUT_HTML, KSL_OUTPUT_SERVER,
                                             KSL_OUTPUT_UNKNOWN};
    bool bResult = false;
    for (unsigned short usOutput : s_order) {
        if (usOutputMask & usOutput) // only the text output has a writer
            bResult = usOutput == KSL_OUTPUT_TEXT && CKSLTextLog::write(record, *this);
    }
    return bResult;
}
