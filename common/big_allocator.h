// SPDX-License-Identifier: MIT
// Memory for the kit's large working sets: a whole talk table or word list,
// a million sort keys. Fresh memory is touched page by page, and on many
// machines each first touch of a small page costs more than the work done on
// it; blocks of several megabytes are therefore aligned to 2 MiB and, on
// Linux, offered to the kernel as huge pages, which cost one fault per 2 MiB.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Memory for `bytes` bytes; large blocks come aligned and huge-page backed
// where the system allows. Throws std::bad_alloc as `new` does.
void* allocate_big(std::size_t bytes);
// Releases a block of `allocate_big`, with the same size.
void release_big(void* block, std::size_t bytes) noexcept;

template <typename T>
struct big_allocator {
  using value_type = T;

  big_allocator() = default;
  template <typename U>
  big_allocator(const big_allocator<U>&) noexcept {}

  T* allocate(std::size_t count) { return static_cast<T*>(allocate_big(count * sizeof(T))); }
  void deallocate(T* block, std::size_t count) noexcept { release_big(block, count * sizeof(T)); }

  friend bool operator==(const big_allocator&, const big_allocator&) { return true; }
};

// The bytes of a whole file.
using file_bytes = std::basic_string<char, std::char_traits<char>, big_allocator<char>>;

template <typename T>
using big_vector = std::vector<T, big_allocator<T>>;
