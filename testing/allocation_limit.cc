// SPDX-License-Identifier: MIT
#include "testing/allocation_limit.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

namespace {

std::atomic<std::size_t> largest_allowed{std::numeric_limits<std::size_t>::max()};

}  // namespace

namespace testkit {

allocation_limit::allocation_limit(std::size_t largest) { largest_allowed = largest; }

allocation_limit::~allocation_limit() { largest_allowed = std::numeric_limits<std::size_t>::max(); }

}  // namespace testkit

void* operator new(std::size_t size) {
  if (size > largest_allowed.load(std::memory_order_relaxed)) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }

void operator delete(void* block, std::size_t) noexcept { std::free(block); }
