#include "ksl_registry_binary.h"

#include "ksl_catch.h"

bool CKSLRegistryBinary::getValue(CKSLByteBuffer& data, bool bUseCache)
{
    return giveValue(data, m_regBinaryCache, bUseCache);
}

bool CKSLRegistryBinary::setValue(const CKSLByteBuffer& data, bool bCacheOnly)
{
    return storeValue(m_regBinaryCache, data, bCacheOnly, true);
}

bool CKSLRegistryBinary::readRegistry()
{
    return kslCatch(false, KSL_HERE, [&] {
        return inOpenKey([&] {
            DWORD dwBytes = 0;
            if (queryOpenValue(nullptr, dwBytes) != ERROR_SUCCESS)
                dwBytes = 0;
            CKSLByteBuffer data(dwBytes);
            dwBytes = data.getCount();
            const LONG lStatus = queryOpenValue(data.getBuffer(), dwBytes);
            if (lStatus == ERROR_SUCCESS) {
                // A value that shrank between the two calls keeps only what was read.
                if (dwBytes < data.getCount() && !data.resize(dwBytes))
                    return false;
                m_regBinaryCache = static_cast<CKSLByteBuffer&&>(data);
                m_bCacheValid = true;
                return true;
            }
            return wantsDefault(lStatus) && setValue(CKSLByteBuffer(), false);
        });
    });
}

bool CKSLRegistryBinary::writeRegistry()
{
    return writeValue(REG_BINARY, m_regBinaryCache.getBuffer(), m_regBinaryCache.getCount(), L"CKSLRegistryBinary");
}

bool CKSLRegistryBinary::readKeyValues(ValueList& values)
{
    return collectValues(values, REG_BINARY, [](const CKSLByteBuffer& data, CKSLByteBuffer& bytes) {
        return ksl_detail::copyValue(bytes, data);
    });
}
