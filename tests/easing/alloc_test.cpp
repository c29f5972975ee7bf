// Allocation behaviour of Easing and ImplHolder: what is allocated, in which
// order, and that nothing leaks when an allocation or a copy fails. The
// global allocation functions are replaced here to count and to fail on
// demand.

#include <cstddef>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

#include "Pimpl.h"
#include "ZelvanEasing.h"

namespace {

constexpr int kMaxEvents = 16;

// Plain globals: the allocation functions must not allocate themselves.
struct AllocLog {
    bool recording = false;
    int failAt = 0;  // 1-based index of the recorded allocation that throws; 0 never
    int allocs = 0;
    int frees = 0;
    std::size_t sizes[kMaxEvents] = {};
    void* allocated[kMaxEvents] = {};
    void* freed[kMaxEvents] = {};
};

AllocLog g_log;

void* Allocate(std::size_t size) {
    if (g_log.recording) {
        const int n = ++g_log.allocs;
        if (n == g_log.failAt) throw std::bad_alloc();
        void* p = std::malloc(size ? size : 1);
        if (!p) throw std::bad_alloc();
        if (n <= kMaxEvents) {
            g_log.sizes[n - 1] = size;
            g_log.allocated[n - 1] = p;
        }
        return p;
    }
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

void Release(void* p) noexcept {
    if (!p) return;
    if (g_log.recording) {
        const int n = ++g_log.frees;
        if (n <= kMaxEvents) g_log.freed[n - 1] = p;
    }
    std::free(p);
}

// Records allocations for the lifetime of the scope.
class Recording {
public:
    explicit Recording(int failAt = 0) {
        g_log = AllocLog();
        g_log.failAt = failAt;
        g_log.recording = true;
    }
    ~Recording() { g_log.recording = false; }
    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;
};

void Stop() { g_log.recording = false; }

using Impl = Easing::Impl;
using Holder = ImplHolder<Impl>;

struct CopyFailure : std::runtime_error {
    CopyFailure() : std::runtime_error("copy failed") {}
};

// A held type whose copy throws without allocating.
struct ThrowsOnCopy {
    ThrowsOnCopy() = default;
    ThrowsOnCopy(const ThrowsOnCopy&) { throw CopyFailure(); }
    ThrowsOnCopy& operator=(const ThrowsOnCopy&) = default;
    double payload[4] = {};
};

TEST(EasingAllocation, SizesAreDistinguishable) {
    // The order tests below tell the two allocations apart by size.
    EXPECT_NE(sizeof(Impl), sizeof(Holder));
}

TEST(EasingAllocation, ConstructionAllocatesImplThenHolderAndDestructionFreesBoth) {
    Easing* e = nullptr;
    {
        Recording r;
        e = new Easing(2, 1);
        Stop();
        ASSERT_EQ(g_log.allocs, 3);  // the Easing itself, the Impl, the holder
        EXPECT_EQ(g_log.sizes[0], sizeof(Easing));
        EXPECT_EQ(g_log.sizes[1], sizeof(Impl));
        EXPECT_EQ(g_log.sizes[2], sizeof(Holder));
        EXPECT_EQ(g_log.frees, 0);
    }
    void* impl = g_log.allocated[1];
    void* holder = g_log.allocated[2];
    EXPECT_EQ(e->getTime(0.5), 0.25);
    {
        Recording r;
        delete e;
        Stop();
        ASSERT_EQ(g_log.allocs, 0);
        ASSERT_EQ(g_log.frees, 3);
        // The holder's destructor releases the Impl, then the holder goes.
        EXPECT_EQ(g_log.freed[0], impl);
        EXPECT_EQ(g_log.freed[1], holder);
    }
}

TEST(EasingAllocation, DefaultConstructionMakesTwoAllocations) {
    Recording r;
    {
        Easing e;
        Stop();
        EXPECT_EQ(g_log.allocs, 2);
        EXPECT_EQ(g_log.sizes[0], sizeof(Impl));
        EXPECT_EQ(g_log.sizes[1], sizeof(Holder));
        g_log.recording = true;
    }
    Stop();
    EXPECT_EQ(g_log.frees, 2);
}

TEST(EasingAllocation, FailedImplAllocationPropagates) {
    Recording r(1);
    EXPECT_THROW(Easing(3, 3), std::bad_alloc);
    Stop();
    EXPECT_EQ(g_log.allocs, 1);
    EXPECT_EQ(g_log.frees, 0);
}

TEST(EasingAllocation, FailedHolderAllocationReleasesTheImpl) {
    Recording r(2);
    EXPECT_THROW(Easing(3, 3), std::bad_alloc);
    Stop();
    ASSERT_EQ(g_log.allocs, 2);
    ASSERT_EQ(g_log.frees, 1);
    EXPECT_EQ(g_log.freed[0], g_log.allocated[0]);
}

TEST(EasingAllocation, FailedDefaultConstructionReleasesTheImpl) {
    Recording r(2);
    EXPECT_THROW(Easing(), std::bad_alloc);
    Stop();
    ASSERT_EQ(g_log.frees, 1);
    EXPECT_EQ(g_log.freed[0], g_log.allocated[0]);
}

TEST(HolderAllocation, CloneAllocatesHolderThenObject) {
    const Holder source(new Impl(2, 1));
    ImplHolderBase* clone = nullptr;
    {
        Recording r;
        clone = source.Clone();
        Stop();
        ASSERT_EQ(g_log.allocs, 2);
        EXPECT_EQ(g_log.sizes[0], sizeof(Holder));
        EXPECT_EQ(g_log.sizes[1], sizeof(Impl));
        EXPECT_EQ(g_log.allocated[0], static_cast<void*>(clone));
        EXPECT_EQ(g_log.allocated[1], clone->GetPtr());
    }
    delete clone;
}

TEST(HolderAllocation, CloneReleasesTheHolderWhenTheObjectAllocationFails) {
    const Holder source(new Impl(2, 1));
    Recording r(2);
    EXPECT_THROW(source.Clone(), std::bad_alloc);
    Stop();
    ASSERT_EQ(g_log.allocs, 2);
    ASSERT_EQ(g_log.frees, 1);
    EXPECT_EQ(g_log.freed[0], g_log.allocated[0]);
}

TEST(HolderAllocation, CloneReleasesEverythingWhenTheCopyThrows) {
    const ImplHolder<ThrowsOnCopy> source(new ThrowsOnCopy());
    Recording r;
    EXPECT_THROW(source.Clone(), CopyFailure);
    Stop();
    // The copy's storage and the holder's storage are both given back.
    EXPECT_EQ(g_log.allocs, g_log.frees);
    EXPECT_GE(g_log.allocs, 2);
}

TEST(HolderAllocation, CopyToAllocatesNothing) {
    const Holder source(new Impl(4, 1));
    Holder target(new Impl(1, 1));
    {
        Recording r;
        source.CopyTo(&target);
        Stop();
        EXPECT_EQ(g_log.allocs, 0);
        EXPECT_EQ(g_log.frees, 0);
    }
    EXPECT_EQ(static_cast<Impl*>(target.GetPtr())->getTime(0.5), 0.0625);
}

TEST(EasingAllocation, CopyConstructionClonesAndAssignmentReuses) {
    Easing a(2, 2);
    Easing b(3, 1);
    {
        Recording r;
        Easing c(a);
        b = a;
        Stop();
        EXPECT_EQ(g_log.allocs, 2);  // the clone only; assignment reuses b's Impl
        EXPECT_EQ(g_log.frees, 0);
        EXPECT_EQ(c.getTime(0.5), 0.75);
        EXPECT_EQ(b.getTime(0.5), 0.75);
    }
}

}  // namespace

// Replaceable global allocation functions ([new.delete]); every form that
// the library, the test framework or the runtime may call, so that all
// memory passes through the same malloc/free pair.
void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
