// A hint to the system about the heap under a large model.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dv {

// Asks for huge pages under the heap as a model of many small blocks grows
// it: a fresh process faults in every page of its first model, and on some
// virtual machines a fault costs as much as filling the page, so one fault a
// 2 MB page instead of one a 4 KB page. The first one made in a process has
// the heap grow in steps of kStep, each of which is hinted by Grown() before
// more than its first pages are used. Only a hint: where the system or the
// allocator does not take it, nothing changes.
class THeapGrowthHint {
public:
    static constexpr size_t kStep = size_t(32) << 20;
    THeapGrowthHint();
    // Cheap enough to be called for every block of the model.
    void Grown() {
        const uintptr_t end = HeapEnd();
        if (end >= FHintedTo + kHugePage || end < FHintedTo) Hint(end);
    }

private:
    static constexpr uintptr_t kHugePage = uintptr_t(1) << 21;
    static uintptr_t HeapEnd();
    static uintptr_t HugePageUp(uintptr_t at) { return (at + kHugePage - 1) & ~(kHugePage - 1); }
    // The heap grew past the next huge page, or gave memory back.
    void Hint(uintptr_t end);
    uintptr_t FHintedTo;  // the heap is hinted up to here, a huge page's start
};

}  // namespace dv
