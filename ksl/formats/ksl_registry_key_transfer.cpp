// CKSLRegistryKey's transfer to and from files: a binary hive (RegSaveKeyW / RegRestoreKeyW, with
// the backup or restore privilege) or the registry text form (CKSLRegistryFile, saveKey format 8
// and restoreKey flags 16). Apart from the rest of the class, so that a registry key knows no file
// format and no parser of untrusted text sits beneath every registry read.
#include "ksl_registry_key.h"

#include "ksl_catch.h"
#include "ksl_privilege.h"
#include "ksl_registry_file.h"

namespace {

const wchar_t kClassName[] = L"CKSLRegistryKey";

// The text form of a key (saveKey format 8, restoreKey flags 16) is an INI file written and read
// by CKSLRegistryFile. The import writes every section to the key the section names, whatever
// key object asked for it.
bool exportKeyAsText(const CKSLWCharString& szExportFileName, HKEY hRootKey, const CKSLWCharString& szKeyPath,
                     bool bDeleteExisting)
{
    return CKSLRegistryFile::exportKey(szExportFileName, hRootKey, szKeyPath, bDeleteExisting);
}

bool importTextFile(const CKSLWCharString& szImportFileName)
{
    return CKSLRegistryFile::importFile(szImportFileName);
}

void checkFileName(const CKSLWCharString& szFileName, const wchar_t* wcsArgName)
{
    if (szFileName.getLength() == 0)
        throw CKSLBadArgException(wcsArgName, L"filename must be non-null", KSL_HERE);
}

} // namespace

// --- hives -----------------------------------------------------------------------------------

bool CKSLRegistryKey::prepareHiveTransfer(const wchar_t* wcsPrivilegeName)
{
    // The privilege stays enabled for the process afterwards.
    return kslSetPrivilege(wcsPrivilegeName, true) && openIfClosed();
}

bool CKSLRegistryKey::saveKey(const CKSLWCharString& szExportFileName, unsigned long ulFormat, bool bDeleteExisting)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        CloseOnExit closeOnExit(*this);
        checkFileName(szExportFileName, L"szExportFileName");
        if (ulFormat == KSL_REG_TEXT_FORMAT)
            return exportKeyAsText(szExportFileName, m_hRootKey, m_szKeyPath, bDeleteExisting);
        if (bDeleteExisting)
            DeleteFileW(szExportFileName.getString());
        if (!prepareHiveTransfer(L"SeBackupPrivilege"))
            return false;
        const LONG lStatus = RegSaveKeyW(m_hKey.get(), szExportFileName.getString(), nullptr);
        if (lStatus != ERROR_SUCCESS)
            throw CKSLRegSaveKeyException(Message(L"Unable to save registry key ( \"%s\" )", m_szKeyPath).text(),
                                          lStatus, KSL_HERE, kClassName, L"saveKey");
        return true;
    });
}

bool CKSLRegistryKey::restoreKey(const CKSLWCharString& szImportFileName, unsigned long ulFlags)
{
    return kslCatchTraced(false, KSL_HERE, [&] {
        CloseOnExit closeOnExit(*this);
        checkFileName(szImportFileName, L"szImportFileName");
        if (ulFlags == KSL_REG_TEXT_RESTORE)
            return importTextFile(szImportFileName);
        if (!prepareHiveTransfer(L"SeRestorePrivilege"))
            return false;
        const LONG lStatus = RegRestoreKeyW(m_hKey.get(), szImportFileName.getString(), ulFlags);
        if (lStatus != ERROR_SUCCESS)
            throw CKSLRegRestoreKeyException(Message(L"Unable to load registry key ( \"%s\" )", m_szKeyPath).text(),
                                             lStatus, KSL_HERE, kClassName, L"restoreKey");
        return true;
    });
}
