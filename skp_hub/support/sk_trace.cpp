#include <windows.h>

#include "sk_trace.h"

#include <cstdio>
#include <cwchar>
#include <new>

#include "ksl_append_lock.h"
#include "ksl_format.h"
#include "ksl_scoped_handle.h"
#include "sk_call_state.h"

namespace {

const wchar_t kDebugKey[] = L"SOFTWARE\\Tessil\\Safekeep\\Debug";
const size_t kLineChars = 8192;  // the whole line, CR LF included
const size_t kLineBytes = 8192;  // the converted line written to the file
const DWORD kPathBytes = 260;    // so a path is at most 129 characters

// The trace file configured for a source, or false when tracing is off for it.
bool readTracePath(const wchar_t* wcsSource, wchar_t (&wcsPath)[kPathBytes / sizeof(wchar_t)])
{
    CKSLScopedKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDebugKey, 0, KEY_QUERY_VALUE, key.receive()) != ERROR_SUCCESS)
        return false;
    DWORD cb = kPathBytes;
    if (RegQueryValueExW(key.get(), wcsSource, nullptr, nullptr, reinterpret_cast<BYTE*>(wcsPath), &cb) != ERROR_SUCCESS)
        return false;
    // A value that fills the buffer without its terminator is as good as missing.
    const size_t chars = cb / sizeof(wchar_t);
    if (chars > 0 && wcsPath[chars - 1] == L'\0')
        return wcsPath[0] != L'\0';
    if (chars >= kPathBytes / sizeof(wchar_t))
        return false;
    wcsPath[chars] = L'\0';
    return chars > 0;
}

// The slot of a source's switch in the current call: the one it was read into, else a free one;
// null when the call has no room (then the switch is read for every line).
SKTraceSwitch* switchSlot(SKCallState& call, const wchar_t* wcsSource)
{
    for (int i = 0; i < call.nTraceSwitches; ++i) {
        if (_wcsicmp(call.traceSwitches[i].wcsSource, wcsSource) == 0) // value names ignore case
            return &call.traceSwitches[i];
    }
    const size_t nSourceChars = sizeof(SKTraceSwitch::wcsSource) / sizeof(wchar_t);
    if (call.nTraceSwitches == SKCallState::kTraceSwitches || wcslen(wcsSource) >= nSourceChars)
        return nullptr;
    SKTraceSwitch& slot = call.traceSwitches[call.nTraceSwitches++];
    wcscpy(slot.wcsSource, wcsSource);
    slot.dwReadTick = GetTickCount() - SKTraceSwitch::kLifetimeMs - 1; // not read yet
    return &slot;
}

// The switch of a source: within an exported call read once per source (and again when the call
// has waited long), otherwise on every line.
bool traceSwitch(const wchar_t* wcsSource, wchar_t (&wcsPath)[kPathBytes / sizeof(wchar_t)])
{
    SKCallState* pCall = SKCurrentCall();
    if (pCall != nullptr && pCall->bSilent)
        return false;
    SKTraceSwitch* pSlot = pCall != nullptr ? switchSlot(*pCall, wcsSource) : nullptr;
    if (pSlot == nullptr)
        return readTracePath(wcsSource, wcsPath);
    if (GetTickCount() - pSlot->dwReadTick > SKTraceSwitch::kLifetimeMs) {
        pSlot->bOn = readTracePath(wcsSource, pSlot->wcsPath);
        pSlot->dwReadTick = GetTickCount();
    }
    wmemcpy(wcsPath, pSlot->wcsPath, sizeof(pSlot->wcsPath) / sizeof(wchar_t));
    return pSlot->bOn;
}

// Creates the file's folder (its last level only); failure, e.g. because it exists, is fine.
void createParentFolder(const wchar_t* wcsPath)
{
    const wchar_t* last = nullptr;
    for (const wchar_t* p = wcsPath; *p; ++p)
        if (*p == L'\\' || *p == L'/')
            last = p;
    if (!last)
        return;
    wchar_t dir[kPathBytes / sizeof(wchar_t)];
    const size_t n = static_cast<size_t>(last - wcsPath);
    wmemcpy(dir, wcsPath, n);
    dir[n] = L'\0';
    if (n > 0 && dir[n - 1] != L':')
        CreateDirectoryW(dir, nullptr);
}

// Builds "time source: message\r\n", shortening the message so the whole line fits.
// line holds kLineChars + 1 characters.
size_t buildLine(wchar_t* line, const wchar_t* wcsSource, const wchar_t* wcsFormat, va_list args)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t stamp[KSL_CTIME_CHARS];
    kslFormatCTime(now, stamp);
    const int room = static_cast<int>(kLineChars - 2); // the line's characters before CR LF
    int len = kslFormat(line, room, L"%s %s: ", stamp, wcsSource);
    if (len < room)
        len += kslFormatV(line + len, room - len + 1, wcsFormat, args);
    line[len++] = L'\r';
    line[len++] = L'\n';
    line[len] = L'\0';
    return static_cast<size_t>(len);
}

// The line in the ANSI code page, at most kLineBytes bytes; a line that converts to more is
// shortened a character at a time from the end of the message.
int toAnsi(wchar_t* line, size_t len, char* bytes)
{
    DWORD dwFlags = WC_COMPOSITECHECK;
    for (;;) {
        const int n = WideCharToMultiByte(CP_ACP, dwFlags, line, static_cast<int>(len), bytes,
                                          static_cast<int>(kLineBytes), nullptr, nullptr);
        const DWORD dwError = n > 0 ? ERROR_SUCCESS : GetLastError();
        // A UTF-8 system code page takes no composite check; the line is converted without it.
        if (dwError == ERROR_INVALID_FLAGS && dwFlags != 0) {
            dwFlags = 0;
            continue;
        }
        if (n > 0 || len <= 2 || dwError != ERROR_INSUFFICIENT_BUFFER)
            return n;
        line[len - 3] = L'\r';
        line[len - 2] = L'\n';
        --len;
    }
}

void appendToFile(const wchar_t* wcsPath, const char* bytes, DWORD count)
{
    CKSLScopedFile file(CreateFileW(wcsPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    CKSLAppendLock lock(file.get());
    SetFilePointer(file.get(), 0, nullptr, FILE_END);
    DWORD written = 0;
    WriteFile(file.get(), bytes, count, &written, nullptr);
}

} // namespace

void SKTraceV(const wchar_t* wcsSource, const wchar_t* wcsFormat, va_list args)
{
    if (!wcsSource || !wcsFormat)
        return;
    const DWORD lastError = GetLastError();
    wchar_t path[kPathBytes / sizeof(wchar_t)];
    if (traceSwitch(wcsSource, path)) {
        createParentFolder(path);
        static_assert(kLineChars * sizeof(wchar_t) + kLineBytes <= 64 * 1024, "trace buffers stay small");
        wchar_t* line = new (std::nothrow) wchar_t[kLineChars + 1];
        char* bytes = new (std::nothrow) char[kLineBytes]();
        if (line && bytes) {
            const size_t len = buildLine(line, wcsSource, wcsFormat, args);
            const int n = toAnsi(line, len, bytes);
            if (n > 0)
                appendToFile(path, bytes, static_cast<DWORD>(strnlen(bytes, static_cast<size_t>(n))));
        }
        delete[] line;
        delete[] bytes;
    }
    SetLastError(lastError);
}

void SKTrace(const wchar_t* wcsSource, const wchar_t* wcsFormat, ...)
{
    va_list args;
    va_start(args, wcsFormat);
    SKTraceV(wcsSource, wcsFormat, args);
    va_end(args);
}

void SKReportError(DWORD dwCode, const wchar_t* wcsFunction, const wchar_t* wcsContext)
{
    if (dwCode == 0)
        dwCode = GetLastError();
    wchar_t line[1024];
    kslFormat(line, L"%s: Error %d %s%s", wcsFunction ? wcsFunction : L"", static_cast<int>(dwCode),
              wcsContext ? wcsContext : L"", L"");
    if (line[0] != L'\0')
        SKTrace(SK_TRACE_SAFEKEEP, L"%s", line);
}
