// CKSLWindowsOSInfo: the Windows version, service pack, two answers of the shell's OS query, and
// whether the system runs the pre-installation environment instead of a normal session.
#pragma once

#include <windows.h>

class CKSLWindowsOSInfo {
public:
    // Throws CKSLWindowsOSInfoInitNeededException when the version cannot be had; callers then
    // take the system as a normal Windows session.
    CKSLWindowsOSInfo();
    ~CKSLWindowsOSInfo();

    // The shell's IsOS(ulQuery) answer; false (out unchanged) when the function cannot be had.
    bool performOSQueryFunction(unsigned long ulQuery, bool& bAnswer);
    // True when "KSLDrive" is set to a non-empty value.
    bool performPECheck();

    bool getFirstOSQuery() const { return m_bFirstOSQuery; }
    bool getSecondOSQuery() const { return m_bSecondOSQuery; }
    bool isPreinstallEnvironment() const { return m_bPreinstallEnvironment; }
    unsigned long getServicePack() const { return m_ulServicePack; }
    double getVersion() const { return m_dVersion; }

private:
    void readServicePack();
    void readVersion();

    bool m_bFirstOSQuery = false;
    bool m_bSecondOSQuery = false;
    bool m_bPreinstallEnvironment = false;
    unsigned long m_ulServicePack = 0;
    double m_dVersion = 0.0;
};
