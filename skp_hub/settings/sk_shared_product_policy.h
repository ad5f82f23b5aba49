// Safekeep's product policy for a status query or a backup request.
#pragma once

#include <cstdint>
#include <memory>

#include "sk_product_policy.h"

// The module-wide instance that SKShareProductPolicy names (every lookup still reads the
// registry afresh), taken exclusively for each lookup because its setting lists share one cursor;
// a policy of its own when there is none (the module-wide objects could not be built).
class CSKSharedProductPolicy {
public:
    CSKSharedProductPolicy();
    ~CSKSharedProductPolicy();
    CSKSharedProductPolicy(const CSKSharedProductPolicy&) = delete;
    CSKSharedProductPolicy& operator=(const CSKSharedProductPolicy&) = delete;

    bool getDwordSetting(int32_t nID, uint32_t& ulValue);
    int32_t getBackupLocations();

private:
    template <class Lookup>
    auto withPolicy(Lookup lookup) -> decltype(lookup(*static_cast<CSKProductPolicy*>(nullptr)));

    std::unique_ptr<CSKProductPolicy> m_own;
};

// Names the module-wide instance: the library's module-wide objects (sk_module_objects) share
// theirs once it is built and take it back (null) before they release it.
void SKShareProductPolicy(CSKProductPolicy* pPolicy);
