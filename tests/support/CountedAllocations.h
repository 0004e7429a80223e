#pragma once

// Counts every allocation of the program through the global operator new. Include it in
// exactly one file of a test executable of its own: it replaces the global operators.

#include <atomic>
#include <cstdlib>
#include <new>

// The replacement new and delete pair malloc with free, which the compiler cannot see
// across the replacement.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

inline std::atomic<long> g_allocations{0};

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++g_allocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
