#pragma once
// An allocator for buffers that volumes are read into: page-aligned memory lets a read land in
// the buffer directly instead of passing through a bounce buffer.
#include <cstddef>
#include <new>

namespace quorvane {

template <class T>
struct PageAlignedAllocator {
    using value_type = T;
    static constexpr std::align_val_t Alignment{4096};

    PageAlignedAllocator() = default;
    template <class U>
    PageAlignedAllocator(const PageAlignedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), Alignment)); }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete(p, Alignment); }

    template <class U>
    bool operator==(const PageAlignedAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace quorvane
