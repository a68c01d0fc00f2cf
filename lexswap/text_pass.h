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

// A rule that was stopped: the index of the entry, the rule, and the
// replacements it had made in the entry.
struct rule_failure {
  std::size_t entry;
  std::size_t rule;
  std::uint64_t replacements;
};

// Applies `rules` to the text of every one of `entries` (none null), on up
// to `threads` threads, and gives the result of working through the entries
// one after another: when a rule is stopped in some entries, the
// first of them in order is returned, every entry before it is done, and
// those from it on are left in any state (lexswap then saves nothing).
//
// `progress(n)` is called on the calling thread whenever the first n
// entries are done, n growing from call to call.
// An exception from the work on a text (std::bad_alloc) ends the pass and
// is thrown again here, after the other threads have stopped.
std::optional<rule_failure> apply_to_texts(const std::vector<ie_res_talk_entry*>& entries,
                                           const rule_applier& rules, unsigned threads,
                                           const std::function<void(std::size_t)>& progress);

// The threads worth starting on this machine: one per processor.
unsigned processor_count();
