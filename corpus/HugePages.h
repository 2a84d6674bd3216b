// HugePages: asks the kernel to back a large buffer with huge pages before it is first written.
#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/mman.h>

// The corpus's arrays take a few bytes per token and are written once, from
// end to end, right after they are allocated: with 4 KB pages, faulting them
// in costs as much as filling them. Where the kernel gives huge pages on
// request, the 2 MB-aligned part of the buffer gets them. Only advice: it
// changes no contents and may be ignored.
inline void adviseHugePages(const void *data, std::size_t bytes)
{
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    if (bytes < 2 * huge)
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Reserves `count` elements in `vector` with that advice.
template <typename Vector>
void reserveOnHugePages(Vector &vector, std::size_t count)
{
    vector.reserve(count);
    adviseHugePages(vector.data(), vector.capacity() * sizeof(typename Vector::value_type));
}

// Resizes `vector`, reserved for at least `count` elements, to `count`, a
// few megabytes at a time, calling between() before each step (to read a
// stop flag, say): the first touch of fresh pages, which resizing does, ran
// at a few hundred megabytes a second on a virtual machine, so an array of
// a gigabyte is seconds of it.
template <typename Vector, typename Between>
void resizeInSteps(Vector &vector, std::size_t count, Between &&between)
{
    constexpr std::size_t stepBytes = std::size_t{4} << 20;
    constexpr std::size_t step = stepBytes / sizeof(typename Vector::value_type);
    while (vector.size() < count) {
        between();
        vector.resize(count - vector.size() > step ? vector.size() + step : count);
    }
}
