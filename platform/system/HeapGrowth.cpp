#include "platform/system/HeapGrowth.h"

#ifdef __linux__
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace dv {

// The heap of the C library grows at its end (glibc's main heap); an
// allocator that does not (a sanitizer's) leaves that end where it is.
THeapGrowthHint::THeapGrowthHint() {
#if defined(__linux__) && defined(M_TOP_PAD) && defined(MADV_HUGEPAGE)
    static const bool once = [] {
        // Setting the pad also stops glibc from raising its mmap threshold
        // as blocks are given back; it is set to the most it would rise to,
        // so that blocks up to that size stay on the heap as they did.
        mallopt(M_TOP_PAD, static_cast<int>(kStep));
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        return true;
    }();
    (void)once;
#endif
    FHintedTo = HugePageUp(HeapEnd());
}

uintptr_t THeapGrowthHint::HeapEnd() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    return reinterpret_cast<uintptr_t>(::sbrk(0));
#else
    return 0;
#endif
}

// Up to the last whole huge page below the heap's end; the huge page the
// heap's end was in when the hint began (partly in use already) is left as
// it is. What the heap gave back is hinted again as it grows back over it.
void THeapGrowthHint::Hint(uintptr_t end) {
    if (end < FHintedTo) {
        FHintedTo = HugePageUp(end);
        return;
    }
    const uintptr_t stop = end & ~(kHugePage - 1);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    ::madvise(reinterpret_cast<void*>(FHintedTo), stop - FHintedTo, MADV_HUGEPAGE);
#endif
    FHintedTo = stop;
}

}  // namespace dv
