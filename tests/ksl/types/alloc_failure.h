// Makes one chosen heap allocation of the calling thread fail, as when memory runs out.
#pragma once

class FailNextAllocation {
public:
    // The nth allocation from now on (1: the very next) fails; later ones succeed again.
    explicit FailNextAllocation(unsigned nNth = 1);
    ~FailNextAllocation();
    FailNextAllocation(const FailNextAllocation&) = delete;
    FailNextAllocation& operator=(const FailNextAllocation&) = delete;
};
