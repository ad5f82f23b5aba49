// The state of one exported call: what cannot change within a call is found out once and reused
// by every step of it (the debug trace switch per source, the resource library's mapping, the
// pre-installation answer; the library's log configuration has its own, CKSLLogSettingsScope).
// The next call finds everything out again, so a change made between two calls is seen by the
// second. Outside a call (the utility module used on its own) every step asks afresh.
//
// The state lives in a per-thread slot. A wait that dispatches window messages puts it aside
// (kslWaitPumping), so that a call the launcher makes on the same thread meanwhile finds out
// everything for itself, and gives it back afterwards.
#pragma once

#include <windows.h>

#include <string>

#include "ksl_scoped_handle.h"

// One trace source's switch as the call read it. A call that ran longer than kLifetimeMs (one
// that waited for a program the user may keep open for minutes) reads it again.
struct SKTraceSwitch {
    static const DWORD kLifetimeMs = 1000;

    wchar_t wcsSource[32];
    bool bOn;
    DWORD dwReadTick;
    wchar_t wcsPath[130];
};

// The resource library as the call first found and mapped it; the mapping is released (a failed
// release reported) when the call ends.
struct SKResourceMapping {
    SKResourceMapping() = default;
    ~SKResourceMapping() { release(); }
    SKResourceMapping(const SKResourceMapping&) = delete;
    SKResourceMapping& operator=(const SKResourceMapping&) = delete;

    // Unmaps the library now; a failed release is reported.
    void release();

    bool bTried = false; // the path has been looked for and the library loaded
    bool bPathFound = false;
    std::wstring path;
    CKSLScopedModule hModule;
    DWORD dwLoadError = 0; // why it could not be loaded
};

struct SKCallState {
    static const int kTraceSwitches = 4;

    bool bSilent = false; // unload: nothing is read and nothing traced
    SKTraceSwitch traceSwitches[kTraceSwitches] = {};
    int nTraceSwitches = 0;
    int nPreinstall = -1; // isPreinstallEnvironment, -1 until asked
    SKResourceMapping resource;
};

// The current thread's call state, or null outside an exported call.
SKCallState* SKCurrentCall();

// Makes a call state current for the thread while it lives. A call made inside another (never by
// the launcher, whose calls during a wait find no state) shares the outer call's state; a silent
// one always has its own.
class CSKCallStateScope {
public:
    explicit CSKCallStateScope(bool bSilent);
    ~CSKCallStateScope();
    CSKCallStateScope(const CSKCallStateScope&) = delete;
    CSKCallStateScope& operator=(const CSKCallStateScope&) = delete;

private:
    SKCallState m_call;
    SKCallState* m_pPrevious;
    bool m_bCurrent;
};
