// CKSLRegistryKey: one key of the registry, named by a predefined root and a path below it.
//
// A key object holds settings, not a handle: every operation opens the key on demand with the
// object's access mask and closes it again before it returns. Only a successful open() and
// enumSubKeys() (so that a loop over the subkeys keeps its parent) leave the key open; close(),
// the next operation that closes, or the destructor end that.
//
// Failures of the Windows calls are logged as the library's registry exceptions and answered
// with false; only the constructor throws (CKSLRegKeyInitException). A missing key on open() and
// the end of an enumeration are normal results and are not logged.
#pragma once

#include <windows.h>

#include "ksl_buffer.h"
#include "ksl_dbllist.h"
#include "ksl_scoped_handle.h"
#include "ksl_wchar_string.h"

// Access mask of keys whose values are written (always together with create-if-missing):
// KEY_READ with KEY_SET_VALUE and KEY_CREATE_SUB_KEY.
const REGSAM KSL_KEY_WRITE_ACCESS = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;

// saveKey format and restoreKey flags that select the INI-like text form instead of a hive.
const unsigned long KSL_REG_TEXT_FORMAT = 8;
const unsigned long KSL_REG_TEXT_RESTORE = 16;

// One value of a key as the registry returned it: name, raw bytes and registry type.
class CKSLRegValueEntry {
public:
    CKSLRegValueEntry() = default;
    // Throws CKSLBufferInitException when the name or the bytes cannot be copied.
    CKSLRegValueEntry(const wchar_t* wcsValueName, const BYTE* pData, unsigned long ulDataBytes, unsigned long ulType);

    // Same type, same name, same length and the same bytes.
    bool operator==(const CKSLRegValueEntry& other) const;
    bool operator!=(const CKSLRegValueEntry& other) const { return !(*this == other); }

    const CKSLWCharString& getValueName() const { return m_szValueName; }
    const CKSLByteBuffer& getData() const { return m_data; }
    unsigned long getType() const { return m_ulType; }

private:
    CKSLWCharString m_szValueName;
    CKSLByteBuffer m_data;
    unsigned long m_ulType = REG_NONE;
};

typedef CKSLDblList<CKSLObjNode<CKSLWCharString>> CKSLWCharStringList;
typedef CKSLDblList<CKSLObjNode<CKSLRegValueEntry>> CKSLRegValueEntryList;

class CKSLRegistryKey {
public:
    // Stores the settings; the key starts closed. Throws CKSLRegKeyInitException when the path
    // cannot be copied.
    CKSLRegistryKey(HKEY hRootKey, const CKSLWCharString& szKeyPath, REGSAM samDesired = KEY_READ,
                    bool bCreateIfMissing = false, DWORD dwCreateOptions = 0);
    // A copy takes the settings only; it starts closed.
    CKSLRegistryKey(const CKSLRegistryKey& other);
    CKSLRegistryKey& operator=(const CKSLRegistryKey& other);
    // Closes the key if it is open. Virtual although keys are held by value: deleting a value
    // object through a key pointer must still release its strings.
    virtual ~CKSLRegistryKey();

    // Closes this key if open, then takes the other key's root, path, access mask, create
    // options and create flag; the key is closed afterwards.
    bool assign(const CKSLRegistryKey& other);

    // Opens the key (an open key is closed and reopened, with a warning). A missing key is
    // created first when create-if-missing is set. Leaves the key open on success.
    bool open();
    // Creates (or opens) the key and closes it again; an existing key counts as success.
    bool create();
    // Closing a closed key only warns and succeeds.
    bool close();
    // open(), then close: whether the key can be opened (with create-if-missing: is created).
    virtual bool exists();

    // One figure of RegQueryInfoKeyW each: characters of the longest subkey name, bytes of the
    // longest value data, characters of the longest value name.
    bool getMaxSubKeyLength(unsigned long& ulMaxSubKeyLength);
    bool getMaxValueLength(unsigned long& ulMaxValueLength);
    bool getMaxValueNameLength(unsigned long& ulMaxValueNameLength);

    // The ulIndex-th subkey as a key object (same root, access and create options, no create
    // flag). Past the last subkey: false without a log record. This key is left open.
    bool enumSubKeys(CKSLRegistryKey& subKey, unsigned long ulIndex);
    // The short names of all subkeys in enumeration order (empty list and true without subkeys).
    bool getSubKeyNames(CKSLWCharStringList& names);
    // The whole path, or only the part after its last backslash.
    bool getKeyName(CKSLWCharString& szName, bool bFullPath) const;
    // The names of all named values; false when there are none.
    bool enumValueNames(CKSLWCharStringList& names);
    // Name, bytes and type of every named value in one RegQueryMultipleValuesW call. On failure
    // (also for a key without named values) the list is left as it was.
    bool queryMultipleValues(CKSLRegValueEntryList& entries);

    // Writes the key to a hive file (SeBackupPrivilege), or in the text form for format 8.
    // bDeleteExisting removes an older file first (RegSaveKeyW refuses to overwrite).
    virtual bool saveKey(const CKSLWCharString& szExportFileName, unsigned long ulFormat, bool bDeleteExisting);
    // Loads the key from a hive file (SeRestorePrivilege; the flags go to RegRestoreKeyW), or
    // imports the text form for flags 16.
    virtual bool restoreKey(const CKSLWCharString& szImportFileName, unsigned long ulFlags);

    HKEY getRootKey() const { return m_hRootKey; }
    const CKSLWCharString& getKeyPath() const { return m_szKeyPath; }
    REGSAM getAccessMask() const { return m_samDesired; }
    DWORD getCreateOptions() const { return m_dwCreateOptions; }
    bool isCreateIfMissing() const { return m_bCreateIfMissing; }
    bool isOpen() const { return m_hKey.valid(); }
    // The open handle (null while closed); it stays owned by this object.
    HKEY getHandle() const { return m_hKey.get(); }

protected:
    // Closes the key on every way out of an operation that must end with the key closed.
    class CloseOnExit {
    public:
        explicit CloseOnExit(CKSLRegistryKey& key) : m_key(key) {}
        ~CloseOnExit() { m_key.closeIfOpen(); }
        CloseOnExit(const CloseOnExit&) = delete;
        CloseOnExit& operator=(const CloseOnExit&) = delete;

    private:
        CKSLRegistryKey& m_key;
    };

    // A message with the key path (or "Unknown") and, for the second %s, a further text, built
    // into a fixed buffer and always terminated.
    class Message {
    public:
        Message(const wchar_t* wcsFormat, const CKSLWCharString& szFirst);
        Message(const wchar_t* wcsFormat, const CKSLWCharString& szFirst, const CKSLWCharString& szSecond);
        const wchar_t* text() const { return m_wcsText; }

    private:
        static const int s_nCapacity = 1025;
        wchar_t m_wcsText[s_nCapacity];
    };

    bool openIfClosed() { return isOpen() || open(); }
    void closeIfOpen();

private:
    enum InfoFigure { ifMaxSubKeyLength, ifMaxValueLength, ifMaxValueNameLength };

    bool queryInfo(InfoFigure figure, unsigned long& ulFigure, const wchar_t* wcsMethodName);
    // RegOpenKeyExW with the object's settings; the status of the call.
    LONG openHandle();
    // enumSubKeys with the enumeration status, so that getSubKeyNames can tell the end of the
    // subkeys from a failure.
    bool enumSubKey(CKSLRegistryKey& subKey, unsigned long ulIndex, LONG& lStatus);
    // Enables the privilege a hive file needs and opens the key.
    bool prepareHiveTransfer(const wchar_t* wcsPrivilegeName);
    void logWarning(const wchar_t* wcsFormat, const wchar_t* wcsMethodName, const wchar_t* wcsFile, int nLine) const;

    CKSLWCharString m_szKeyPath;
    REGSAM m_samDesired;
    DWORD m_dwCreateOptions;
    CKSLScopedKey m_hKey;
    bool m_bCreateIfMissing;
    HKEY m_hRootKey;
};
