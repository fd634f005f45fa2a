#include "AllocationProbe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace vistrel_test {
namespace {
std::atomic<std::size_t> largest{0};

void Note(std::size_t size) {
    std::size_t seen = largest.load(std::memory_order_relaxed);
    while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
}

void* Allocate(std::size_t size) {
    Note(size);
    for (;;) {
        if (void* p = std::malloc(size ? size : 1)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}
}  // namespace

void ResetLargestAllocation() { largest.store(0, std::memory_order_relaxed); }
std::size_t LargestAllocation() { return largest.load(std::memory_order_relaxed); }

}  // namespace vistrel_test

void* operator new(std::size_t size) { return vistrel_test::Allocate(size); }
void* operator new[](std::size_t size) { return vistrel_test::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return vistrel_test::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return vistrel_test::Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
