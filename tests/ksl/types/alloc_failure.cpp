#include "alloc_failure.h"

#include <cstdlib>
#include <new>

namespace {

// Allocations still to go before the one that fails; 0 when disarmed.
thread_local unsigned t_nCountdown = 0;

bool failsNow()
{
    if (t_nCountdown == 0)
        return false;
    return --t_nCountdown == 0;
}

void* allocate(std::size_t nBytes)
{
    return failsNow() ? nullptr : std::malloc(nBytes != 0 ? nBytes : 1);
}

} // namespace

FailNextAllocation::FailNextAllocation(unsigned nNth)
{
    t_nCountdown = nNth;
}

FailNextAllocation::~FailNextAllocation()
{
    t_nCountdown = 0;
}

// The one replaceable allocation function: the runtime's array and nothrow forms call it, and its
// deallocation functions free what malloc gave.
void* operator new(std::size_t nBytes)
{
    if (void* p = allocate(nBytes))
        return p;
    throw std::bad_alloc();
}
