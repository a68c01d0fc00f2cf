// SPDX-License-Identifier: MIT
// Applying a replacement list to every text of a talk table, on all the
// processors there are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lexswap/rule_applier.h"
#include "talk/ie_res_talk_entry.h"

// Why the pass stopped: the entry being worked on (for a stopped rule, the
// first entry in order where a rule was stopped) and what went wrong there.
struct pass_failure {
  std::size_t entry;
  apply_failure failure;
};

// Applies `rules` to the text of every one of `entries` (none null), on up
// to `threads` threads, and gives the result of working through the entries
// one after another: when a rule is stopped in some entries, the first of
// them in order is returned, every entry before it is done, and those from
// it on are left in any state (lexswap then saves nothing). Memory that
// runs out, on any thread, ends the pass with such a failure too.
//
// `progress(n)` is called on the calling thread whenever the first n
// entries are done, n growing from call to call.
std::optional<pass_failure> apply_to_texts(const std::vector<ie_res_talk_entry*>& entries,
                                           const rule_applier& rules, unsigned threads,
                                           const std::function<void(std::size_t)>& progress);

// The threads worth starting on this machine: one per processor.
unsigned processor_count();
