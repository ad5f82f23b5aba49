#include "ksl_text_log.h"

#include <cwchar>

#include "ksl_append_lock.h"
#include "ksl_format.h"
#include "ksl_last_error_guard.h"
#include "ksl_log_record.h"
#include "ksl_log_settings.h"
#include "ksl_scoped_handle.h"

namespace {

const wchar_t s_wcByteOrderMark = 0xFEFF; // bytes FF FE in the file
const DWORD s_cbTextOutput = 256;           // "TextOutput" holds at most 256 bytes
const int s_nDirectoryCapacity = MAX_PATH;

// Assembles a line in a fixed buffer, keeping room for its "\r\n" end. Once a part has been
// cut nothing more is added, so a long line loses its tail only.
class CLineBuilder {
public:
    CLineBuilder(wchar_t* wcsLine, int nCapacity) : m_wcsLine(wcsLine), m_nRoom(nCapacity - 3), m_nLength(0)
    {
        m_wcsLine[0] = L'\0';
    }

    CLineBuilder& operator<<(const wchar_t* wcsText)
    {
        if (m_nRoom <= m_nLength || wcsText == nullptr)
            return *this;
        const int nAdded = kslCopyText(m_wcsLine + m_nLength, m_nRoom - m_nLength + 1, wcsText);
        m_nLength += nAdded;
        if (wcsText[nAdded] != L'\0')
            m_nRoom = m_nLength; // cut: the line is full
        return *this;
    }

    // "0x%08x" or "%d" of a value.
    CLineBuilder& number(const wchar_t* wcsFormat, long lValue)
    {
        wchar_t wcsNumber[16];
        kslFormat(wcsNumber, wcsFormat, lValue);
        return *this << wcsNumber;
    }

    int finish()
    {
        wmemcpy(m_wcsLine + m_nLength, L"\r\n", 3);
        return m_nLength + 2;
    }

private:
    wchar_t* m_wcsLine;
    int m_nRoom;
    int m_nLength;
};

bool isEmpty(const wchar_t* wcsText)
{
    return wcsText == nullptr || *wcsText == L'\0';
}

void appendClassAndMethod(CLineBuilder& line, const wchar_t* wcsClass, const wchar_t* wcsMethod)
{
    if (isEmpty(wcsClass) && isEmpty(wcsMethod))
        return;
    line << L"<";
    if (!isEmpty(wcsClass))
        line << wcsClass;
    if (!isEmpty(wcsMethod))
        line << L"::" << wcsMethod;
    line << L"> ";
}

void appendResult(CLineBuilder& line, const CKSLLogRecord& record)
{
    const long lValue = record.getValue();
    const bool bExit = record.getLevel() == KSL_LOG_EXIT;
    switch (record.getResultKind()) {
    case KSL_RESULT_ERROR_CODE:
        if (lValue != 0 && lValue != -1)
            line << L"<Error: ";
        else
            return;
        break;
    case KSL_RESULT_BOOLEAN:
        if (bExit)
            line << (lValue != 0 ? L"<Passed> " : L"<Failed> ");
        return;
    case KSL_RESULT_LOGICAL:
        if (bExit)
            line << (lValue != 0 ? L"<Passed> " : L"<Failed Logical Result> ");
        return;
    case KSL_RESULT_RETURN_CODE:
        line << L"<Return Code: ";
        break;
    default:
        return;
    }
    line.number(L"0x%08x", lValue) << L"> ";
}

void appendSourcePosition(CLineBuilder& line, const wchar_t* wcsSourceFile, int nLine)
{
    const bool bFile = !isEmpty(wcsSourceFile);
    if (bFile) {
        const wchar_t* wcsName = wcsrchr(wcsSourceFile, L'\\');
        line << L"<" << (wcsName != nullptr ? wcsName + 1 : wcsSourceFile) << (nLine != 0 ? L", " : L">");
    }
    if (nLine != 0) {
        if (!bFile)
            line << L"<";
        line.number(L"%d", nLine) << L"> ";
    }
}

// The log file, open for one append.
class CLogFile {
public:
    explicit CLogFile(const wchar_t* wcsPath)
    {
        const DWORD dwShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
        m_file.reset(CreateFileW(wcsPath, GENERIC_WRITE, dwShare, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!m_file.valid())
            m_file.reset(CreateFileW(wcsPath, GENERIC_WRITE, dwShare, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    bool isOpen() const { return m_file.valid(); }

    // wcsText[0] is a free slot for the byte-order mark, the line follows it. An empty file
    // (one just created, here or by a writer that has not written yet) gets the mark first.
    bool appendLine(wchar_t* wcsText, int nLineChars)
    {
        CKSLAppendLock lock(m_file.get());
        LARGE_INTEGER size = {};
        const bool bEmpty = GetFileSizeEx(m_file.get(), &size) && size.QuadPart == 0;
        const wchar_t* wcsFrom = wcsText + 1;
        DWORD cbText = static_cast<DWORD>(nLineChars) * sizeof(wchar_t);
        if (bEmpty) {
            wcsText[0] = s_wcByteOrderMark;
            wcsFrom = wcsText;
            cbText += sizeof(wchar_t);
        }
        SetFilePointer(m_file.get(), 0, nullptr, FILE_END);
        DWORD cbWritten = 0;
        return WriteFile(m_file.get(), wcsFrom, cbText, &cbWritten, nullptr) && cbWritten == cbText;
    }

private:
    CKSLScopedFile m_file;
};

} // namespace

int CKSLTextLog::formatLine(const CKSLLogRecord& record, const wchar_t* wcsTimeStamp, wchar_t* wcsLine,
                            int nCapacity)
{
    if (wcsLine == nullptr || nCapacity < 3) {
        if (wcsLine != nullptr && nCapacity > 0)
            wcsLine[0] = L'\0';
        return 0;
    }
    CLineBuilder line(wcsLine, nCapacity);
    line << L"<" << wcsTimeStamp << L">: ";
    line << L"<" << CKSLLogRecord::levelName(record.getLevel()) << L"> ";
    line << L"<" << record.getObjectName() << L"> ";
    appendClassAndMethod(line, record.getClassName(), record.getMethodName());
    if (!isEmpty(record.getMessage()))
        line << L"\"" << record.getMessage() << L"\" ";
    appendResult(line, record);
    appendSourcePosition(line, record.getSourceFile(), record.getLine());
    return line.finish();
}

bool CKSLTextLog::directoryOf(const wchar_t* wcsPath, wchar_t* wcsDirectory, int nCapacity)
{
    if (wcsPath == nullptr || wcsPath[0] == L'\0' || wcsPath[1] != L':' || nCapacity <= 0)
        return false;
    const wchar_t* wcsLastSlash = wcsrchr(wcsPath, L'\\');
    const int nChars = wcsLastSlash != nullptr ? static_cast<int>(wcsLastSlash - wcsPath) + 1 : 0;
    if (nChars >= nCapacity)
        return false;
    wmemcpy(wcsDirectory, wcsPath, nChars);
    wcsDirectory[nChars] = L'\0';
    return true;
}

bool CKSLTextLog::write(CKSLLogRecord& record, const CKSLLogSettings& settings)
{
    CKSLLastErrorGuard keepError;
    if (record.getOutputPath() == nullptr) {
        wchar_t wcsConfigured[s_cbTextOutput / sizeof(wchar_t)];
        if (!settings.getOutputPath(KSL_OUTPUT_TEXT, wcsConfigured, sizeof(wcsConfigured)))
            return false;
        record.setOutputPath(wcsConfigured);
    }
    const wchar_t* wcsPath = record.getOutputPath();
    wchar_t wcsDirectory[s_nDirectoryCapacity];
    if (!directoryOf(wcsPath, wcsDirectory, s_nDirectoryCapacity))
        return false;

    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t wcsStamp[KSL_CTIME_CHARS];
    kslFormatCTime(now, wcsStamp);
    // One slot before the line for the byte-order mark: a new file gets mark and line in one
    // write.
    wchar_t wcsText[1 + s_nLineCapacity];
    const int nChars = formatLine(record, wcsStamp, wcsText + 1, s_nLineCapacity);
    if (CKSLLogSettingsScope::holdLine(wcsPath, wcsText + 1, nChars))
        return true;
    return append(wcsPath, wcsText, nChars);
}

bool CKSLTextLog::append(const wchar_t* wcsPath, wchar_t* wcsText, int nChars)
{
    CKSLLastErrorGuard keepError;
    wchar_t wcsDirectory[s_nDirectoryCapacity];
    if (!directoryOf(wcsPath, wcsDirectory, s_nDirectoryCapacity))
        return false;
    if (wcsDirectory[0] != L'\0')
        CreateDirectoryW(wcsDirectory, nullptr); // one level; failure (e.g. it exists) does not matter
    CLogFile file(wcsPath);
    return file.isOpen() && file.appendLine(wcsText, nChars);
}
