#include "ksl_log_settings.h"

#include <cstring>
#include <initializer_list>
#include <cwchar>
#include <new>
#include <string>

#include "ksl_format.h"
#include "ksl_last_error_guard.h"
#include "ksl_log_record.h"
#include "ksl_logging.h"
#include "ksl_scoped_handle.h"
#include "ksl_text_log.h"
#include "ksl_thread_slot.h"

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

// The snapshot in force on each thread (see CKSLLogSettingsScope).
CKSLThreadSlot s_currentSnapshot;

} // namespace

// The values of the logging key as one reading saw them, raw as RegQueryValueExW gave them.
class CKSLLogSnapshot {
public:
    explicit CKSLLogSnapshot(CKSLLogSettingsScope::EMode mode) : m_bKeyMissing(mode == CKSLLogSettingsScope::Off) {}
    ~CKSLLogSnapshot() { flush(); }
    CKSLLogSnapshot(const CKSLLogSnapshot&) = delete;
    CKSLLogSnapshot& operator=(const CKSLLogSnapshot&) = delete;

    // Keeps a line for the one append of this scope's lines to the file; a line for another
    // file first sends the held ones. False when it cannot be kept (memory).
    bool hold(const wchar_t* wcsPath, const wchar_t* wcsLine, int nChars)
    {
        try {
            if (!m_pending.empty() && m_pendingPath != wcsPath)
                flush();
            if (m_pending.empty()) {
                m_pendingPath = wcsPath;
                m_pending.assign(1, L'\0'); // the slot for a new file's byte-order mark
            }
            m_pending.append(wcsLine, static_cast<size_t>(nChars));
        } catch (...) {
            return false;
        }
        if (m_pending.size() > s_nFlushChars)
            flush();
        return true;
    }

    void flush()
    {
        if (m_pending.size() > 1)
            CKSLTextLog::append(m_pendingPath.c_str(), &m_pending[0], static_cast<int>(m_pending.size() - 1));
        m_pending.clear();
    }

    // Read long enough ago that the configuration may have changed (never for the Off mode).
    bool isStale() const { return m_bRead && GetTickCount() - m_dwReadTick > CKSLLogSettingsScope::s_dwLifetimeMs; }

    void read()
    {
        CKSLLastErrorGuard keepError;
        flush(); // what was held was decided by the configuration read before
        m_bRead = true;
        m_dwReadTick = GetTickCount();
        m_nEntries = 0;
        m_bKeyMissing = false;
        CKSLScopedKey key;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CKSLLogSettings::s_wcsKeyPath, 0, KEY_READ, key.receive()) !=
            ERROR_SUCCESS) {
            m_bKeyMissing = true;
            return;
        }
        const Entry& logging = capture(key.get(), L"Logging");
        DWORD dwLogging = 0;
        if (!logging.bPresent || logging.cbData > sizeof(dwLogging))
            return; // off: the filter asks for nothing else
        std::memcpy(&dwLogging, logging.data, logging.cbData);
        if (dwLogging == 0)
            return;
        for (const wchar_t* wcsName : {L"LogDetail", L"TextOutput", L"AllowObjects", L"ExcludeObjects"})
            capture(key.get(), wcsName);
        wchar_t wcsProgram[MAX_PATH];
        if (CKSLLogSettings::programName(wcsProgram, MAX_PATH))
            capture(key.get(), wcsProgram);
    }

    // True when the snapshot answers for the value (bFound then says whether it could be read
    // into cbData bytes, as RegQueryValueExW would); false when the registry must be asked.
    bool lookup(const wchar_t* wcsName, void* pData, DWORD& cbData, bool& bFound) const
    {
        bFound = false;
        if (m_bKeyMissing)
            return true;
        const Entry* pEntry = find(wcsName);
        if (pEntry == nullptr || (pEntry->bTooLarge && cbData >= pEntry->cbData))
            return false;
        if (!pEntry->bPresent || pEntry->cbData > cbData)
            return true;
        std::memcpy(pData, pEntry->data, pEntry->cbData);
        cbData = pEntry->cbData;
        bFound = true;
        return true;
    }

private:
    static const DWORD s_cbValue = 1024; // the longest text the settings reader asks for
    static const size_t s_nFlushChars = 64 * 1024;
    static const int s_nMaxEntries = 6;

    struct Entry {
        wchar_t wcsName[MAX_PATH];
        bool bPresent;
        bool bTooLarge; // present, but more than s_cbValue bytes
        DWORD cbData;
        BYTE data[s_cbValue];
    };

    const Entry& capture(HKEY hKey, const wchar_t* wcsName)
    {
        Entry& entry = m_entries[m_nEntries++];
        kslCopyText(entry.wcsName, MAX_PATH, wcsName);
        entry.cbData = s_cbValue;
        const LSTATUS status = RegQueryValueExW(hKey, wcsName, nullptr, nullptr, entry.data, &entry.cbData);
        entry.bPresent = status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
        entry.bTooLarge = status == ERROR_MORE_DATA;
        return entry;
    }

    const Entry* find(const wchar_t* wcsName) const
    {
        for (int i = 0; i < m_nEntries; ++i) {
            if (_wcsicmp(m_entries[i].wcsName, wcsName) == 0) // value names ignore case
                return &m_entries[i];
        }
        return nullptr;
    }

    std::wstring m_pendingPath;
    std::wstring m_pending; // held text log lines, after one free slot
    bool m_bKeyMissing;
    bool m_bRead = false;
    DWORD m_dwReadTick = 0;
    int m_nEntries = 0;
    Entry m_entries[s_nMaxEntries];
};

CKSLLogSettingsScope::CKSLLogSettingsScope(EMode mode)
    : m_pOwned(nullptr), m_pPrevious(static_cast<CKSLLogSnapshot*>(s_currentSnapshot.get()))
{
    if (m_pPrevious != nullptr && mode == ReadOnce)
        return;
    m_pOwned = new (std::nothrow) CKSLLogSnapshot(mode);
    if (m_pOwned == nullptr)
        return; // without memory for it every value is read as it is needed
    if (mode == ReadOnce)
        m_pOwned->read();
    if (!s_currentSnapshot.set(m_pOwned)) {
        delete m_pOwned;
        m_pOwned = nullptr;
    }
}

CKSLLogSettingsScope::~CKSLLogSettingsScope()
{
    if (m_pOwned == nullptr)
        return;
    s_currentSnapshot.set(m_pPrevious);
    delete m_pOwned;
}

bool CKSLLogSettingsScope::holdLine(const wchar_t* wcsPath, const wchar_t* wcsLine, int nChars)
{
    CKSLLogSnapshot* pSnapshot = current();
    return pSnapshot != nullptr && pSnapshot->hold(wcsPath, wcsLine, nChars);
}

void CKSLLogSettingsScope::writeHeldLines()
{
    CKSLLogSnapshot* pSnapshot = current();
    if (pSnapshot != nullptr) {
        CKSLLastErrorGuard keepError;
        pSnapshot->flush();
    }
}

CKSLLogSnapshot* CKSLLogSettingsScope::current()
{
    return static_cast<CKSLLogSnapshot*>(s_currentSnapshot.get());
}

namespace {

// Opens the logging key, reads one value into cbData bytes and closes the key again; the
// stored type is not checked. Inside a scope its snapshot answers for the values it holds.
bool queryLogValue(const wchar_t* wcsName, void* pData, DWORD& cbData)
{
    bool bFound = false;
    CKSLLogSnapshot* pSnapshot = CKSLLogSettingsScope::current();
    if (pSnapshot != nullptr && pSnapshot->isStale())
        pSnapshot->read();
    if (pSnapshot != nullptr && pSnapshot->lookup(wcsName, pData, cbData, bFound))
        return bFound;
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
