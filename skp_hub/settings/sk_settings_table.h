// Safekeep's settings vocabulary: every DWORD and string setting by number, with the key path
// below each policy location, the value name and the default. Each table ends with the record
// numbered SK_SETTINGS_END, which is no setting.
#pragma once

#include <cstdint>

const int32_t SK_SETTINGS_END = 158;

struct SKDwordSettingRecord {
    int32_t nID;
    const wchar_t* wcsKeyPath;
    const wchar_t* wcsValueName;
    uint32_t ulDefault;
    const wchar_t* wcsVersion;
    uint32_t ulPolicySource;
};

struct SKStringSettingRecord {
    int32_t nID;
    const wchar_t* wcsKeyPath;
    const wchar_t* wcsValueName;
    const wchar_t* wcsDefault;
    uint32_t ulExpand;
    const wchar_t* wcsVersion;
    uint32_t ulPolicySource;
};

extern const SKDwordSettingRecord SK_DWORD_SETTINGS[];
extern const SKStringSettingRecord SK_STRING_SETTINGS[];
