// The wait every export uses on the launcher's UI thread: what it answers, the log lines it writes
// before it blocks, and the state it puts aside for calls made on the same thread while it waits.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "ksl_catch.h"
#include "ksl_exceptions.h"
#include "ksl_pumping_wait.h"
#include "ksl_scoped_handle.h"
#include "ksl_thread_slot.h"
#include "log_capture.h"
#include "window_probe.h"

namespace {

TEST(PumpingWait, AnswersTheSignalledHandleTheTimeOutOrTheFailure)
{
    CKSLScopedHandle hUnset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CKSLScopedHandle hSet(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    const HANDLE both[2] = {hUnset.get(), hSet.get()};
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0 + 1), kslWaitPumping(both, 2, 1000));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), kslWaitPumping(both, 1, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), kslWaitPumping(nullptr, 0, 20));
    const HANDLE closed[1] = {reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x7FFC))};
    EXPECT_EQ(static_cast<DWORD>(WAIT_FAILED), kslWaitPumping(closed, 1, 1000));
}

// The pause of an export lets the window answer, and ends once its time is over even while
// messages keep coming (with the process wrapper's clock, which starts again after each message,
// it would not end while the probe sends).
TEST(PumpingWait, APauseKeepsTheWindowAnsweringAndEndsOnTime)
{
    bool bInside = false;
    int nAnsweredInside = 0;
    CWindowProbe probe([&] { nAnsweredInside += bInside; });
    probe.start();
    bInside = true;
    const ULONGLONG ullStart = GetTickCount64();
    kslPausePumping(600);
    const ULONGLONG ullMs = GetTickCount64() - ullStart;
    bInside = false;
    probe.stop();
    EXPECT_GT(nAnsweredInside, 0);
    EXPECT_GE(ullMs, 590u) << "a pause never ends early"; // the tick may be a few ms coarser than the wait's clock
}

CKSLThreadSlot g_slot;

using PumpingWaitLogTest = LogCaptureTest;

// The lines the current call holds are in the file before the wait blocks; a call made during the
// wait (a message of the launcher's) reads its own configuration, finds the thread's slots empty and
// has its own lines in the file when it returns; afterwards the outer call holds its lines again and
// finds its slots as it left them.
TEST_F(PumpingWaitLogTest, HeldLinesAreWrittenFirstAndACallDuringTheWaitKeepsItsOwn)
{
    int nOuterState = 0;
    ASSERT_TRUE(g_slot.set(&nOuterState));
    std::wstring textSeenInside;
    bool bSlotEmptyInside = false, bInnerWritten = false;
    {
        CKSLLogSettingsScope outer;
        CKSLBadArgException(L"before", L"the wait", KSL_HERE);
        ASSERT_FALSE(logHas(L"( before )")) << "a call holds its lines until it ends or waits";
        CWindowProbe probe([&] {
            if (!textSeenInside.empty())
                return;
            textSeenInside = logText() + L" ";
            bSlotEmptyInside = g_slot.get() == nullptr;
            {
                CKSLLogSettingsScope inner;
                CKSLBadArgException(L"inside", L"the wait", KSL_HERE);
            }
            bInnerWritten = logHas(L"( inside )");
        });
        probe.start();
        kslPausePumping(400);
        probe.stop();
        EXPECT_EQ(&nOuterState, g_slot.get()) << "the slot is given back after the wait";
        CKSLBadArgException(L"after", L"the wait", KSL_HERE);
        EXPECT_FALSE(logHas(L"( after )")) << "the outer call holds its lines again";
    }
    g_slot.set(nullptr);
    EXPECT_NE(std::wstring::npos, textSeenInside.find(L"( before )")) << "written before the wait blocked";
    EXPECT_TRUE(bSlotEmptyInside);
    EXPECT_TRUE(bInnerWritten) << "a call made during the wait has its lines in the file when it returns";
    EXPECT_TRUE(logHas(L"( after )"));
    EXPECT_EQ(1u, logCount(L"( before )")) << "no line twice";
}

} // namespace
