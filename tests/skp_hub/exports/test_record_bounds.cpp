// The record queries never touch a byte outside the launcher's record, whatever size it claims:
// each record is placed right before and right after a page that faults on any access.
#include <gtest/gtest.h>

#include <cstring>

#include "plugin_loader.h"
#include "scratch_registry.h"

namespace {

const uint32_t kFill = 0xA5;

// Three pages: read-write, no access, read-write. A record ends where the no-access page begins,
// or starts where it ends.
class GuardedPages {
public:
    GuardedPages()
    {
        SYSTEM_INFO info{};
        GetSystemInfo(&info);
        m_cbPage = info.dwPageSize;
        m_pBase = static_cast<unsigned char*>(VirtualAlloc(nullptr, 3 * m_cbPage, MEM_COMMIT | MEM_RESERVE,
                                                           PAGE_READWRITE));
        DWORD dwOld = 0;
        m_bReady = m_pBase && VirtualProtect(m_pBase + m_cbPage, m_cbPage, PAGE_NOACCESS, &dwOld);
    }
    ~GuardedPages()
    {
        if (m_pBase)
            VirtualFree(m_pBase, 0, MEM_RELEASE);
    }
    GuardedPages(const GuardedPages&) = delete;
    GuardedPages& operator=(const GuardedPages&) = delete;

    bool ready() const { return m_bReady; }
    unsigned char* endingAtGuard(uint32_t cbRecord) const { return m_pBase + m_cbPage - cbRecord; }
    unsigned char* startingAfterGuard() const { return m_pBase + 2 * m_cbPage; }

private:
    unsigned char* m_pBase = nullptr;
    DWORD m_cbPage = 0;
    bool m_bReady = false;
};

const uint32_t kSizes[] = {0, 1, 4, 5, 939, 940, 941, 947, 948, 949, 2000, 0xFFFFFFFF};

enum class Query { Catalogue, Status };

struct Expected {
    int32_t nResult;
    uint32_t cbSize;
    bool bFilled;         // the record was filled
    uint32_t cbZeroedTo;  // not installed: bytes 4 up to this are zero
};

uint32_t recordSize(Query query)
{
    return query == Query::Catalogue ? LP_FUNCTION_INFO_SIZE : LP_STATUS_INFO_SIZE;
}

// What the record protocol answers for a size given with function id 1.
Expected expected(Query query, bool bInstalled, uint32_t cbGiven)
{
    const uint32_t cbRecord = recordSize(query);
    if (!bInstalled)
        return {LP_OK, 0, false, cbGiven < cbRecord ? cbGiven : cbRecord};
    if (cbGiven == 0)
        return {LP_OK, cbRecord, false, 0};
    if (cbGiven < cbRecord)
        return {LP_ERR_TOO_SMALL, cbGiven, false, 0};
    // The catalogue answers its record size; the status leaves the size as the caller gave it.
    return {LP_OK, query == Query::Catalogue ? cbRecord : cbGiven, true, 0};
}

int32_t ask(PluginLoader& plugin, Query query, unsigned char* pRecord, uint32_t& cbSize)
{
    if (query == Query::Catalogue)
        return plugin.getFunctionInfo(0, reinterpret_cast<LP_FUNCTION_INFO*>(pRecord), &cbSize);
    return plugin.getStatus(0, reinterpret_cast<LP_STATUS_INFO*>(pRecord), &cbSize);
}

// Every size at both places for both queries; a byte outside the record would fault.
void checkAllSizes(PluginLoader& plugin, bool bInstalled)
{
    const GuardedPages pages;
    ASSERT_TRUE(pages.ready());
    for (Query query : {Query::Catalogue, Query::Status}) {
        const uint32_t cbRecord = recordSize(query);
        for (unsigned char* pRecord : {pages.endingAtGuard(cbRecord), pages.startingAfterGuard()}) {
            for (uint32_t cbGiven : kSizes) {
                SCOPED_TRACE(testing::Message()
                             << (query == Query::Catalogue ? "catalogue" : "status") << " size " << cbGiven
                             << (pRecord == pages.startingAfterGuard() ? " after" : " before") << " the guard page");
                std::memset(pRecord, kFill, cbRecord);
                *reinterpret_cast<int32_t*>(pRecord) = SKP_ID_QUICK_BACKUP_NOW;
                uint32_t cbSize = cbGiven;
                const Expected want = expected(query, bInstalled, cbGiven);
                EXPECT_EQ(want.nResult, ask(plugin, query, pRecord, cbSize));
                EXPECT_EQ(want.cbSize, cbSize);
                EXPECT_EQ(SKP_ID_QUICK_BACKUP_NOW, *reinterpret_cast<int32_t*>(pRecord)) << "the id is never written";
                if (want.bFilled) {
                    // The catalogue's nCatalogId at 4, the status's nStatusKind at 204.
                    const int32_t nMarker = query == Query::Catalogue ? 51100 : 4;
                    int32_t nGot = 0;
                    std::memcpy(&nGot, pRecord + (query == Query::Catalogue ? 4 : 204), sizeof nGot);
                    EXPECT_EQ(nMarker, nGot) << "filled";
                    continue;
                }
                for (uint32_t i = 4; i < cbRecord; ++i)
                    ASSERT_EQ(i < want.cbZeroedTo ? 0u : kFill, pRecord[i]) << "byte " << i;
            }
        }
    }
}

TEST_F(ScratchRegistryTest, NotInstalledEverySizeStaysInsideTheRecord)
{
    PluginLoader plugin;
    checkAllSizes(plugin, false);
}

TEST_F(ScratchRegistryTest, InstalledEverySizeStaysInsideTheRecord)
{
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"Version", L"4.0"));
    ASSERT_TRUE(setRegString(HKEY_LOCAL_MACHINE, L"Software\\Tessil\\Safekeep", L"InstallPath", L"C:\\Safekeep"));
    PluginLoader plugin;
    checkAllSizes(plugin, true);
}

} // namespace
