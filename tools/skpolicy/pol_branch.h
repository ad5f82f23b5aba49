// A Registry.pol and the policy branch of one scope (skpolicy pol export / import, report --pol).
//
// The machine scope is HKEY_LOCAL_MACHINE\Software\Policies\Tessil\Safekeep (the machine policy
// and, below it, the policy "User Defaults"), the user scope the same key under
// HKEY_CURRENT_USER. An import applies the file's entries for that key and the keys below it as a
// Group Policy client does, in file order:
//
//     a value name                 the value set with the entry's type and data
//     "**del.NAME"                 the value NAME deleted
//     "**delvals."                 every value of the key deleted (its subkeys stay)
//     an empty name and no data    the key created
//
// Entries for any other key are not written, and other "**" instructions not carried out; both
// are listed. The whole file is checked before the first write: a value of a type that no setting
// takes refuses the file, with the entry's byte offset.
#pragma once

#include <string>
#include <vector>

#include "policy_report.h"
#include "registry_pol.h"

namespace skpolicy {

struct PolScope {
    std::wstring name; // "machine" or "user"
    HKEY hHive = nullptr;
    std::vector<unsigned long> locations; // the setting locations in its branch, in search order
};

// The scope of a --scope name; false for a name that is none.
bool polScopeFrom(const std::wstring& name, PolScope& scope);

// Why a value of this type and data can be no setting's value; empty when some setting takes it.
// Texts (REG_SZ, REG_EXPAND_SZ) end in their one NUL, numbers are a REG_DWORD of four bytes or a
// REG_BINARY of one to four.
std::wstring valueFault(DWORD dwType, const std::vector<BYTE>& data);

// The values of the product's settings present in the scope's branch, as a policy file's entries
// (by location in search order, then by setting ID). A value no import would take (one of a type
// no setting reads) is left out with a line in notes. False when a value could not be read.
bool exportBranch(CKSLProductPolicy& policy, const PolScope& scope, RegistryPolFile& file, std::wstring& notes,
                  std::wstring& err);

// What a policy file does to the scope's branch.
class PolBranchPlan : public ReportOverlay {
public:
    explicit PolBranchPlan(const PolScope& scope);

    // Sorts the file's entries into the plan; false (the plan empty) with the fault of the first
    // entry for the branch that cannot be applied.
    bool build(const RegistryPolFile& file, std::wstring& fault);

    // Carries the plan out; a line for each change to out. False when a write failed.
    bool carryOut(std::wstring& out, std::wstring& err) const;

    // The entries the plan leaves alone, a line each, and their counts.
    std::wstring leftOut() const;
    size_t otherKeyCount() const { return count(kOtherKey); }
    size_t unhandledCount() const { return count(kUnhandled); }
    size_t appliedCount() const { return m_actions.size() - otherKeyCount() - unhandledCount(); }

    // "HKEY_LOCAL_MACHINE\Software\Policies\Tessil\Safekeep"
    std::wstring branchPath() const;

    // The report as if the plan were carried out.
    void apply(const CKSLPolicyDwordSetting& setting, CKSLPolicyFinding<unsigned long>& finding) const override;
    void apply(const CKSLPolicyStringSetting& setting, CKSLPolicyFinding<CKSLWCharString>& finding) const override;

private:
    enum Kind { kSetValue, kDeleteValue, kDeleteValues, kCreateKey, kOtherKey, kUnhandled };
    struct Action {
        Kind kind;
        PolEntry entry;
        std::wstring valueName; // the value set or deleted
    };

    bool isInBranch(const std::wstring& key) const;
    // The action of one entry for the branch; empty fault when it can be applied.
    Action actionOf(const PolEntry& entry, std::wstring& fault) const;
    bool applyOne(const Action& action, std::wstring& out, std::wstring& err) const;
    template <class TSetting, class TValue>
    void overlay(const TSetting& setting, CKSLPolicyFinding<TValue>& finding) const;
    size_t count(Kind kind) const;

    PolScope m_scope;
    std::wstring m_branch; // the branch's key below the hive
    std::vector<Action> m_actions;
};

} // namespace skpolicy
