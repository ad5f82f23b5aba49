// CKSLIni: typed access to one Windows profile (INI) file through the private-profile functions.
//
// Every operation is traced under "CKSLIni" and answers a bool; failures of the Windows calls are
// logged where the operation says so and never thrown. Reads treat the text "Not Found" and the
// number -1 as missing, since those are the defaults handed to Windows. An empty file name is
// refused: Windows would take it for its own win.ini.
#pragma once

#include "ksl_dbllist.h"
#include "ksl_wchar_string.h"

class CKSLIni {
public:
    typedef CKSLDblList<CKSLObjNode<CKSLWCharString>> StringList;

    explicit CKSLIni(const CKSLWCharString& szFileName);
    virtual ~CKSLIni();
    CKSLIni(const CKSLIni&) = delete;
    CKSLIni& operator=(const CKSLIni&) = delete;

    // Creates a missing section (empty); an existing one and its keys are left untouched.
    virtual bool createProfileSection(const CKSLWCharString& szSection);
    // False (logged) when the key is missing or holds -1; lValue is left untouched then.
    virtual bool getProfileInt(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName, long& lValue);
    // The section's "key=value" lines in file order, however long; false for a missing or empty
    // section. A read that returns nothing leaves the list untouched.
    virtual bool getProfileSection(const CKSLWCharString& szSection, StringList& lines);
    // The file's section names in file order; false for a missing or empty file.
    virtual bool getProfileSectionNames(StringList& names);
    // False, without a log record, for a missing key, a value of 1022 characters or more and a
    // value that reads "Not Found"; szValue is left untouched then.
    virtual bool getProfileString(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName,
                                  CKSLWCharString& szValue);
    // Writes the value as decimal text.
    virtual bool setProfileInt(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName, long lValue);
    // An empty value is written as an empty text; an empty section or key name is refused (to
    // Windows it would mean "delete the whole section").
    //
    // Every write refuses (logged, false) a section, key or value with a line break, which would
    // start an entry or section of its own. A file that does not exist yet is created in UTF-16
    // (with a byte-order mark) before the first write, so every text survives; an existing file
    // in the ANSI code page stays so, and a text that code page cannot hold is refused.
    virtual bool setProfileString(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName,
                                  const CKSLWCharString& szValue);

    const CKSLWCharString& getFileName() const { return m_szFileName; }

private:
    void checkFileName() const;
    bool prepareFileEncoding() const;
    bool isWritable(const CKSLWCharString& szSection, const CKSLWCharString* pKeyName,
                    const CKSLWCharString* pValue) const;
    bool hasSection(const CKSLWCharString& szSection);
    static DWORD growListChars(DWORD dwChars);
    void writeString(const CKSLWCharString& szSection, const CKSLWCharString& szKeyName,
                     const CKSLWCharString& szValue, const wchar_t* wcsMethodName);
    // Fills the list from a buffer of zero-terminated strings of n characters.
    static bool fillList(const wchar_t* pStrings, unsigned long n, StringList& list);
    bool readStrings(const CKSLWCharString* pSection, StringList& list);

    CKSLWCharString m_szFileName;
};
