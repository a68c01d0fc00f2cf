// SPDX-License-Identifier: MIT
#include "common/big_allocator.h"

#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t k_huge_page = std::size_t{2} << 20;
// Below this a block is small enough for the ordinary heap.
constexpr std::size_t k_big_block = std::size_t{4} << 20;

std::size_t rounded(std::size_t bytes) {
  return (bytes + k_huge_page - 1) / k_huge_page * k_huge_page;
}

}  // namespace

void* allocate_big(std::size_t bytes) {
  if (bytes < k_big_block) return ::operator new(bytes);
  // clang-format off
  void* block = ::operator new(rounded(bytes), std::align_val_t{k_huge_page});
  // clang-format on
#ifdef __linux__
  // Only advice: where huge pages are off, the block works as it is.
  madvise(block, rounded(bytes), MADV_HUGEPAGE);
#endif
  return block;
}

void release_big(void* block, std::size_t bytes) noexcept {
  if (bytes < k_big_block) {
    ::operator delete(block);
    return;
  }
  // clang-format off
  ::operator delete(block, std::align_val_t{k_huge_page});
  // clang-format on
}
