// SPDX-License-Identifier: MIT
// Memory that runs out, on demand: while an `allocation_limit` lives, every
// allocation through operator new larger than its limit fails with
// std::bad_alloc, on every thread. Linking this replaces the test binary's
// operator new and operator delete.
#pragma once

#include <cstddef>

namespace testkit {

class allocation_limit {
 public:
  explicit allocation_limit(std::size_t largest);
  ~allocation_limit();
  allocation_limit(const allocation_limit&) = delete;
  allocation_limit& operator=(const allocation_limit&) = delete;
};

}  // namespace testkit
