// SPDX-License-Identifier: MIT
#include "lexswap/rule_applier.h"

#include <limits>
#include <utility>

#include "common/command.h"
#include "lexswap/one_pass.h"
#include "lexswap/rule_matcher.h"
#include "lexswap/rules_in_turn.h"
#include "lexswap/text_scan.h"
#include "lexswap/word_path.h"

namespace {

// The work on one text after another, for one width of automaton state: the
// fastest way that takes a text gives its result.
template <typename State>
class state_engine {
 public:
  explicit state_engine(const compiled_rules<State>& rules)
      : rules_(rules), pass_(rules), words_(rules), turns_(rules) {}

  std::optional<apply_failure> apply(std::string& text) {
    scan_.run(rules_, text);
    if (pass_.apply(text, scan_)) return std::nullopt;
    if (rules_.word_by_word && words_.apply(text)) return std::nullopt;
    const turn_result result = turns_.apply(text, scan_, turn_limits::whole_text);
    if (result.how == turn_result::outcome::done) return std::nullopt;
    return apply_failure{apply_error::rule_stopped, result.rule, result.replacements};
  }

 private:
  const compiled_rules<State>& rules_;
  text_scan<State> scan_;
  one_pass<State> pass_;
  word_path<State> words_;
  rules_in_turn<State> turns_;
};

// Lists of up to this many automaton states (most lists) take two bytes a
// state: half the memory, so the automaton's table and a text's states stay
// closer to the processor.
constexpr std::size_t k_narrow_states = std::numeric_limits<std::int16_t>::max();

}  // namespace

class rule_applier::compiled {
 public:
  explicit compiled(replacement_list list) {
    if (automaton_states(list.search_strings) <= k_narrow_states) {
      rules.emplace<compiled_rules<std::int16_t>>(std::move(list));
    } else {
      rules.emplace<compiled_rules<std::int32_t>>(std::move(list));
    }
  }

  std::variant<std::monostate, compiled_rules<std::int16_t>, compiled_rules<std::int32_t>> rules;
};

class rule_applier::engine {
 public:
  explicit engine(const compiled& rules) {
    if (const auto* narrow = std::get_if<compiled_rules<std::int16_t>>(&rules.rules)) {
      work.emplace<state_engine<std::int16_t>>(*narrow);
    } else {
      work.emplace<state_engine<std::int32_t>>(std::get<compiled_rules<std::int32_t>>(rules.rules));
    }
  }

  std::variant<std::monostate, state_engine<std::int16_t>, state_engine<std::int32_t>> work;
};

rule_applier::rule_applier(std::shared_ptr<const compiled> rules) noexcept
    : rules_(std::move(rules)) {}

// Memory that runs out is a failure like the others.
std::variant<rule_applier, apply_failure> rule_applier::compile(replacement_list list) {
  // Every state and the end of the last run of states must be numbered in
  // four bytes.
  if (automaton_states(list.search_strings) >
      static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    return apply_failure{apply_error::too_many_states};
  std::shared_ptr<const compiled> made;
  if (!within_memory([&] { made = std::make_shared<const compiled>(std::move(list)); }))
    return apply_failure{apply_error::out_of_memory};
  return rule_applier(std::move(made));
}

rule_applier::rule_applier(const rule_applier& other) noexcept : rules_(other.rules_) {}
rule_applier::rule_applier(rule_applier&&) noexcept = default;
rule_applier& rule_applier::operator=(rule_applier&&) noexcept = default;
rule_applier::~rule_applier() = default;

std::optional<apply_failure> rule_applier::apply(std::string& text) noexcept {
  std::optional<apply_failure> failure;
  bool enough = within_memory([&] {
    if (!engine_) engine_ = std::make_unique<engine>(*rules_);
    if (auto* narrow = std::get_if<state_engine<std::int16_t>>(&engine_->work)) {
      failure = narrow->apply(text);
    } else {
      failure = std::get_if<state_engine<std::int32_t>>(&engine_->work)->apply(text);
    }
  });
  if (!enough) return apply_failure{apply_error::out_of_memory};
  return failure;
}
