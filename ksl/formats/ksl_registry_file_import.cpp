// CKSLRegistryFile::importFile: the text form read line by line, as the profile functions read
// it, with every line accounted for: a section line, an entry, a blank or comment line, or a fault
// that is logged with its line number and makes the import answer false.
#include "ksl_format.h"
#include "ksl_registry_file.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "ksl_catch.h"
#include "ksl_registry_binary.h"
#include "ksl_registry_dword.h"
#include "ksl_registry_expand.h"
#include "ksl_registry_file_form.h"
#include "ksl_registry_multi_string.h"
#include "ksl_registry_string.h"
#include "ksl_scoped_handle.h"

namespace {

using namespace ksl_registry_form;

const wchar_t kMethod[] = L"importFile";

// Why a file, a line or a value is not imported; null when it is.
typedef const wchar_t* Problem;

// --- the file's text ---------------------------------------------------------------------------

// A file larger than this is not read at all.
const unsigned long long kMaxFileBytes = 512ull * 1024 * 1024;

enum class ReadResult { kRead, kMissing, kFailed };

// The whole file; a missing file (or folder) is no failure, anything else that keeps it from
// being read is logged.
ReadResult readFileBytes(const CKSLWCharString& szFileName, std::vector<BYTE>& bytes)
{
    CKSLScopedFile file(CreateFileW(szFileName.getString(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD dwError = GetLastError();
    if (!file && (dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND))
        return ReadResult::kMissing;
    LARGE_INTEGER size = {};
    bool bRead = file && GetFileSizeEx(file.get(), &size) &&
                 static_cast<unsigned long long>(size.QuadPart) <= kMaxFileBytes;
    if (bRead) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD dwDone = 0;
        bRead = bytes.empty() || (ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &dwDone, nullptr) &&
                                  dwDone == bytes.size());
    }
    if (bRead)
        return ReadResult::kRead;
    dwError = file && size.QuadPart > static_cast<LONGLONG>(kMaxFileBytes) ? ERROR_FILE_TOO_LARGE : GetLastError();
    wchar_t wcsMessage[1025];
    kslFormat(wcsMessage, L"Unable to read file ( %s ); nothing is written", shown(szFileName).getString());
    CKSLLogException1 error(KSL_LOG_EXCEPTION_BAD, wcsMessage, static_cast<long>(dwError), KSL_RESULT_ERROR_CODE,
                            kClass, kMethod, KSL_HERE, true, false); // written when built
    return ReadResult::kFailed;
}

bool isHighSurrogate(wchar_t wc)
{
    return wc >= 0xD800 && wc <= 0xDBFF;
}

// Why the file cannot be read as written, and the line where that shows (0: the whole file).
struct FileFault {
    Problem problem = nullptr;
    unsigned long ulLine = 0;
};

unsigned long lineOf(const wchar_t* pText, size_t nPos)
{
    return 1 + static_cast<unsigned long>(std::count(pText, pText + nPos, L'\n'));
}

// The profile functions read UTF-16LE after its byte-order mark (the export's form) and ANSI
// text without one; a UTF-8 or big-endian mark is not read alike by every version of them. A NUL
// byte in ANSI text is most likely UTF-16 without its mark.
FileFault decodeText(const std::vector<BYTE>& bytes, std::wstring& text)
{
    const size_t nBytes = bytes.size();
    const BYTE* pBytes = bytes.data();
    FileFault fault;
    if (nBytes >= 3 && pBytes[0] == 0xEF && pBytes[1] == 0xBB && pBytes[2] == 0xBF) {
        fault.problem = L"it starts with a UTF-8 byte-order mark (the import reads UTF-16 text with its byte-order "
                        L"mark, or ANSI text)";
    } else if (nBytes >= 2 && pBytes[0] == 0xFE && pBytes[1] == 0xFF) {
        fault.problem = L"it is big-endian UTF-16 text (the import reads UTF-16 text with its byte-order mark, or "
                        L"ANSI text)";
    } else if (nBytes >= 2 && pBytes[0] == 0xFF && pBytes[1] == 0xFE) {
        if (nBytes % 2 != 0)
            fault.problem = L"it ends inside a character";
        else {
            text.resize((nBytes - 2) / 2);
            if (!text.empty())
                std::memcpy(&text[0], pBytes + 2, nBytes - 2);
        }
    } else if (const void* pNul = std::memchr(pBytes, 0, nBytes)) {
        fault.problem = L"a NUL character: UTF-16 text without its byte-order mark, or no text at all";
        fault.ulLine = 1 + static_cast<unsigned long>(std::count(pBytes, static_cast<const BYTE*>(pNul), '\n'));
    } else if (nBytes != 0) {
        const int nChars = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(pBytes),
                                               static_cast<int>(nBytes), nullptr, 0);
        text.resize(static_cast<size_t>(nChars > 0 ? nChars : 0));
        if (nChars <= 0 || MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(pBytes),
                                               static_cast<int>(nBytes), &text[0], nChars) != nChars)
            fault.problem = L"bytes that are no text in the ANSI code page, or a character cut short";
    }
    return fault;
}

// A NUL character ends the profile functions' reading of a line; a file cut inside a character
// loses it; a carriage return ends a line only before a line feed (or at the end of the file),
// since the profile functions do not all split lines at a lone one.
FileFault checkText(const std::wstring& text)
{
    const size_t nNul = text.find(L'\0');
    if (nNul != std::wstring::npos)
        return {L"a NUL character", lineOf(text.data(), nNul)};
    if (!text.empty() && isHighSurrogate(text.back()))
        return {L"it ends inside a character", 0};
    for (size_t nCr = text.find(L'\r'); nCr != std::wstring::npos; nCr = text.find(L'\r', nCr + 1))
        if (nCr + 1 < text.size() && text[nCr + 1] != L'\n')
            return {L"a carriage return inside a line", lineOf(text.data(), nCr)};
    return FileFault();
}

// --- values --------------------------------------------------------------------------------------

bool isHexDigit(wchar_t wc)
{
    return (wc >= L'0' && wc <= L'9') || (wc >= L'a' && wc <= L'f') || (wc >= L'A' && wc <= L'F');
}

bool allHex(const wchar_t* pText, size_t nLength)
{
    return std::all_of(pText, pText + nLength, isHexDigit);
}

BYTE hexValue(wchar_t wc)
{
    return static_cast<BYTE>(wc <= L'9' ? wc - L'0' : (wc | 0x20) - L'a' + 10);
}

// A number in one of the forms "0x1A" (as the export writes it), "1Ah" or "1A": one to eight hex
// digits, blanks in front allowed.
Problem parseDword(const wchar_t* pData, size_t nLength, unsigned long& ulValue)
{
    while (nLength != 0 && (*pData == L' ' || *pData == L'\t')) {
        ++pData;
        --nLength;
    }
    const bool bPrefix = nLength > 2 && pData[0] == L'0' && (pData[1] == L'x' || pData[1] == L'X');
    const bool bSuffix = !bPrefix && nLength > 1 && (pData[nLength - 1] == L'h' || pData[nLength - 1] == L'H');
    const size_t nDigits = nLength - (bPrefix ? 2 : 0) - (bSuffix ? 1 : 0);
    if (nDigits == 0 || nDigits > 8 || !allHex(pData + (bPrefix ? 2 : 0), nDigits) ||
        !slice(pData, nLength).getNumber(ulValue, CKSLWCharString::nsHex))
        return L"bad number";
    return nullptr;
}

// The text between the outer double quotes.
Problem parseText(const wchar_t* pData, size_t nLength, CKSLWCharString& szText)
{
    if (nLength < 2 || pData[0] != L'"' || pData[nLength - 1] != L'"')
        return L"the text is not between double quotes";
    szText = slice(pData + 1, nLength - 2);
    return nullptr;
}

// Byte codes as the export writes them, two hex digits each, separated by single blanks;
// the number of codes, or -1 when the text is no such list.
long long countCodes(const wchar_t* pCodes, size_t nLength)
{
    if (nLength == 0)
        return 0;
    if ((nLength + 1) % 3 != 0)
        return -1;
    for (size_t n = 0; n < nLength; ++n)
        if (n % 3 == 2 ? pCodes[n] != L' ' : !isHexDigit(pCodes[n]))
            return -1;
    return static_cast<long long>((nLength + 1) / 3);
}

// The bytes of a checked code list.
bool decodeCodes(const wchar_t* pCodes, size_t nCodes, CKSLByteBuffer& bytes)
{
    bytes.destroy();
    if (nCodes == 0)
        return true;
    if (!bytes.create(static_cast<unsigned long>(nCodes)))
        return false;
    for (size_t n = 0; n < nCodes; ++n)
        bytes.getBuffer()[n] = static_cast<BYTE>(hexValue(pCodes[3 * n]) << 4 | hexValue(pCodes[3 * n + 1]));
    return true;
}

// "01 02 03 04": whole characters, as the export writes an even number of bytes; "3:01 02 03":
// the byte count first, as it writes an odd number.
Problem parseBinary(const wchar_t* pData, size_t nLength, CKSLByteBuffer& bytes)
{
    const wchar_t* pColon = std::wmemchr(pData, L':', nLength);
    const size_t nCountDigits = pColon != nullptr ? static_cast<size_t>(pColon - pData) : 0;
    const wchar_t* pCodes = pColon != nullptr ? pColon + 1 : pData;
    const long long llCodes = countCodes(pCodes, nLength - static_cast<size_t>(pCodes - pData));
    if (llCodes < 0)
        return L"bad hex code";
    if (pColon == nullptr && llCodes % 2 != 0)
        return L"an odd number of hex codes (an odd number of bytes is written with its count, as in 3:01 02 03)";
    if (pColon != nullptr) {
        unsigned long long ullCount = 0;
        bool bDigits = nCountDigits != 0 && nCountDigits <= 10;
        for (size_t n = 0; bDigits && n < nCountDigits; ++n) {
            bDigits = pData[n] >= L'0' && pData[n] <= L'9';
            ullCount = ullCount * 10 + static_cast<unsigned long long>(pData[n] - L'0');
        }
        if (!bDigits || ullCount != static_cast<unsigned long long>(llCodes))
            return L"the byte count does not match the hex codes";
    }
    if (!decodeCodes(pCodes, static_cast<size_t>(llCodes), bytes))
        return L"the bytes could not be held";
    return nullptr;
}

// One item of a multi-string: the codes of its UTF-16LE characters and of its terminating zero.
Problem parseItem(const wchar_t* pCodes, size_t nLength, CKSLWCharString& szItem)
{
    const long long llCodes = countCodes(pCodes, nLength);
    if (llCodes < 2 || llCodes % 2 != 0)
        return L"bad hex code";
    CKSLByteBuffer bytes;
    if (!decodeCodes(pCodes, static_cast<size_t>(llCodes), bytes))
        return L"the strings could not be held";
    const CKSLWCharBuffer chars = bytes.convertTo<wchar_t>();
    const unsigned long ulChars = chars.getCount();
    if (!chars.isValid() || chars.getBuffer()[ulChars - 1] != L'\0')
        return L"an item without its terminating zero";
    if (std::wmemchr(chars.getBuffer(), L'\0', ulChars - 1) != nullptr)
        return L"an item with a zero character inside";
    szItem = slice(chars.getBuffer(), ulChars - 1);
    return nullptr;
}

// Comma-separated items; no codes at all is the empty list.
Problem parseMultiString(const wchar_t* pData, size_t nLength, CKSLWCharStringList& strings)
{
    for (size_t nStart = 0; nLength != 0;) {
        const wchar_t* pComma = std::wmemchr(pData + nStart, L',', nLength - nStart);
        const size_t nEnd = pComma != nullptr ? static_cast<size_t>(pComma - pData) : nLength;
        CKSLWCharString szItem;
        const Problem problem = parseItem(pData + nStart, nEnd - nStart, szItem);
        if (problem != nullptr)
            return problem;
        if (!strings.add(szItem))
            return L"the strings could not be held";
        if (pComma == nullptr)
            break;
        nStart = nEnd + 1;
    }
    return nullptr;
}

// The parsed value written through its value class, unless parsing found a problem.
template <class TValueClass, class TValue>
Problem writeParsed(Problem parseProblem, const TValue& value, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                    const CKSLWCharString& szName)
{
    if (parseProblem == nullptr &&
        !TValueClass(hRootKey, szKeyPath, szName, KSL_KEY_WRITE_ACCESS, true, 0).setValue(value, false))
        return L"the value could not be written";
    return parseProblem;
}

// Writes the data of one entry by its type; data that does not parse completely writes nothing.
Problem writeEntry(HKEY hRootKey, const CKSLWCharString& szKeyPath, const CKSLWCharString& szName,
                   const CKSLWCharString& szType, const wchar_t* pData, size_t nLength)
{
    if (szType == L"REG_DWORD") {
        unsigned long ulValue = 0;
        const Problem problem = parseDword(pData, nLength, ulValue);
        return writeParsed<CKSLRegistryDword>(problem, ulValue, hRootKey, szKeyPath, szName);
    }
    if (szType == L"REG_SZ" || szType == L"REG_SZ_EXPAND") {
        CKSLWCharString szText;
        const Problem problem = parseText(pData, nLength, szText);
        return szType == L"REG_SZ" ? writeParsed<CKSLRegistryValue>(problem, szText, hRootKey, szKeyPath, szName)
                                   : writeParsed<CKSLRegistryStringExpand>(problem, szText, hRootKey, szKeyPath, szName);
    }
    if (szType == L"REG_BINARY") {
        CKSLByteBuffer bytes;
        const Problem problem = parseBinary(pData, nLength, bytes);
        return writeParsed<CKSLRegistryBinary>(problem, bytes, hRootKey, szKeyPath, szName);
    }
    if (szType == L"REG_SZ_MULTI") {
        CKSLWCharStringList strings;
        const Problem problem = parseMultiString(pData, nLength, strings);
        return writeParsed<CKSLRegistryMultiString>(problem, strings, hRootKey, szKeyPath, szName);
    }
    return L"bad type prefix";
}

// --- lines ---------------------------------------------------------------------------------------

// Names compared as the registry compares them, without regard to case.
struct NoCaseLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
               CSTR_LESS_THAN;
    }
};

typedef std::map<std::wstring, unsigned long, NoCaseLess> LineOfName;

// A file with more faulty lines than this lists the first ones and counts the rest.
const unsigned long kListedFaults = 100;

// Reads the lines of a file's text in order and writes what they say.
class CLineImport {
public:
    // False when a line was a fault or a value could not be written (each logged).
    bool importText(const std::wstring& text)
    {
        const wchar_t* pText = text.data();
        const size_t nText = text.size();
        unsigned long ulLine = 0;
        for (size_t nStart = 0; nStart < nText;) {
            const wchar_t* pBreak = std::wmemchr(pText + nStart, L'\n', nText - nStart);
            const size_t nEnd = pBreak != nullptr ? static_cast<size_t>(pBreak - pText) : nText;
            takeLine(++ulLine, pText + nStart, nEnd - nStart);
            nStart = nEnd + 1;
        }
        if (m_ulFaults > kListedFaults)
            logRefusal(kMethod, L"Unable to import %lu more lines, the first of them line %lu ( not listed one by one )",
                       m_ulFaults - kListedFaults, m_ulFirstUnlisted);
        return m_ulFaults == 0;
    }

private:
    enum State { kBeforeSections, kInSection, kInRefusedSection };

    void takeLine(unsigned long ulLine, const wchar_t* pLine, size_t nLength)
    {
        // The profile functions cut blanks (the carriage return of a line end among them) from both ends.
        while (nLength != 0 && isProfileBlank(*pLine)) {
            ++pLine;
            --nLength;
        }
        while (nLength != 0 && isProfileBlank(pLine[nLength - 1]))
            --nLength;
        if (nLength == 0 || *pLine == L';')
            return; // a blank or comment line
        if (*pLine == L'[')
            takeSection(ulLine, pLine, nLength);
        else if (m_state == kBeforeSections)
            fault(ulLine, L"Unable to import line %lu ( %s ): an entry before the first section", shown(pLine, nLength));
        else if (m_state == kInSection)
            takeEntry(ulLine, pLine, nLength);
        // The lines of a refused section are accounted for by the record of its section line.
    }

    // "[ROOT\path]": the key is created even when no entry of it can be written.
    void takeSection(unsigned long ulLine, const wchar_t* pLine, size_t nLength)
    {
        m_state = kInRefusedSection;
        m_names.clear();
        const bool bClosed = pLine[nLength - 1] == L']';
        Problem problem = bClosed ? nullptr
                          : std::wmemchr(pLine, L']', nLength) != nullptr ? L"text after the ']' of the section line"
                                                                          : L"a section line without its closing ']'";
        if (problem == nullptr)
            problem = parseSectionName(pLine + 1, nLength - 2, m_hRootKey, m_szKeyPath);
        const CKSLWCharString szLine = shown(pLine, nLength);
        if (problem != nullptr) {
            fault(ulLine, L"Unable to import line %lu ( %s ): %s; the entries of the section are not written", szLine,
                  problem);
            return;
        }
        const std::wstring id = std::wstring(rootName(m_hRootKey)) + L"\\" + m_szKeyPath.getString();
        const auto earlier = m_sections.find(id);
        if (earlier != m_sections.end()) {
            fault(ulLine,
                  L"Unable to import line %lu ( %s ): the section of the same key began at line %lu; the entries of "
                  L"this one are not written",
                  szLine, earlier->second);
            return;
        }
        m_sections.emplace(id, ulLine);
        if (!CKSLRegistryKey(m_hRootKey, m_szKeyPath, KSL_KEY_WRITE_ACCESS, true, 0).exists()) {
            fault(ulLine, L"Unable to import line %lu ( %s ): the key could not be created", szLine);
            return;
        }
        m_szSection = shown(pLine + 1, nLength - 2);
        m_state = kInSection;
    }

    // "name=TYPE:data": the name ends at the first '=', the type at the first ':' after it.
    void takeEntry(unsigned long ulLine, const wchar_t* pLine, size_t nLength)
    {
        const wchar_t* pEquals = std::wmemchr(pLine, L'=', nLength);
        size_t nName = pEquals != nullptr ? static_cast<size_t>(pEquals - pLine) : 0;
        while (nName != 0 && isProfileBlank(pLine[nName - 1]))
            --nName;
        const wchar_t* pValue = pEquals != nullptr ? pEquals + 1 : pLine + nLength;
        while (pValue < pLine + nLength && isProfileBlank(*pValue))
            ++pValue;
        const size_t nValue = static_cast<size_t>(pLine + nLength - pValue);
        const wchar_t* pColon = std::wmemchr(pValue, L':', nValue);
        const CKSLWCharString szEntry = shown(pLine, nLength);
        const wchar_t* const wcsFormat = L"Unable to import line %lu ( section: %s, entry: %s ): %s";
        if (pEquals == nullptr || (nName != 0 && pColon == nullptr)) {
            fault(ulLine, wcsFormat, m_szSection, szEntry, L"no type prefix");
            return;
        }
        if (nName == 0) {
            fault(ulLine, wcsFormat, m_szSection, szEntry, L"an entry without a name");
            return;
        }
        const auto named = m_names.emplace(std::wstring(pLine, nName), ulLine);
        if (!named.second) {
            fault(ulLine, L"Unable to import line %lu ( section: %s, entry: %s ): the value was given before, at line %lu",
                  m_szSection, szEntry, named.first->second);
            return;
        }
        const CKSLWCharString szType = slice(pValue, static_cast<size_t>(pColon - pValue));
        const Problem problem = writeEntry(m_hRootKey, m_szKeyPath, slice(pLine, nName), szType, pColon + 1,
                                           static_cast<size_t>(pLine + nLength - pColon - 1));
        if (problem != nullptr)
            fault(ulLine, wcsFormat, m_szSection, szEntry, problem);
    }

    // Logs a faulty line (the first ones; the rest are counted); the format's first field is the
    // line number, the others are texts or numbers.
    template <class... TArgs>
    void fault(unsigned long ulLine, const wchar_t* wcsFormat, const TArgs&... args)
    {
        if (++m_ulFaults > kListedFaults) {
            if (m_ulFirstUnlisted == 0)
                m_ulFirstUnlisted = ulLine;
            return;
        }
        logRefusal(kMethod, wcsFormat, ulLine, printed(args)...);
    }

    static const wchar_t* printed(const CKSLWCharString& szText) { return szText.getString(); }
    static const wchar_t* printed(const wchar_t* wcsText) { return wcsText; }
    static unsigned long printed(unsigned long ulNumber) { return ulNumber; }

    State m_state = kBeforeSections;
    HKEY m_hRootKey = nullptr;
    CKSLWCharString m_szKeyPath;
    CKSLWCharString m_szSection; // as shown in records
    LineOfName m_sections;       // "ROOT\path" of every section imported so far
    LineOfName m_names;          // value names of the current section
    unsigned long m_ulFaults = 0;
    unsigned long m_ulFirstUnlisted = 0;
};

} // namespace

bool CKSLRegistryFile::importFile(const CKSLWCharString& szFileName)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        std::vector<BYTE> bytes;
        const ReadResult read = readFileBytes(szFileName, bytes);
        if (read != ReadResult::kRead)
            return read == ReadResult::kMissing;
        std::wstring text;
        FileFault fault = decodeText(bytes, text);
        if (fault.problem == nullptr)
            fault = checkText(text);
        if (fault.problem != nullptr) {
            wchar_t wcsWhere[32] = L"";
            if (fault.ulLine != 0)
                kslFormat(wcsWhere, L" at line %lu", fault.ulLine);
            logRefusal(kMethod, L"Unable to import file ( %s ): %s%s; nothing is written", shown(szFileName).getString(),
                       fault.problem, wcsWhere);
            return false;
        }
        return CLineImport().importText(text);
    });
}
