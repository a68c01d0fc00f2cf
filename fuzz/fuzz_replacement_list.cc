// SPDX-License-Identifier: MIT
// Any bytes as a replacement list and a text: the first line is the text,
// the rest the list. Every run ends; where the list is accepted and the
// rules finish, the result is that of running the rules one by one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "lexswap/lexswap.h"
#include "lexswap/replace.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t line_end = input.find('\n');
  std::string text(input.substr(0, std::min<std::size_t>(line_end, 64)));
  replacement_list list =
      parse_replacement_list(line_end == std::string_view::npos ? "" : input.substr(line_end + 1));
  // Long lists and long texts add nothing the short ones do not, but each
  // rule that never stops costs its full bound.
  if (list.size() > 8) return 0;
  if (!refuse_rules(list, "rules").ok()) return 0;

  std::string applied = text;
  std::optional<apply_failure> stopped =
      std::get<rule_applier>(rule_applier::compile(list)).apply(applied);

  std::string one_by_one = text;
  std::optional<apply_failure> stopped_too;
  for (std::size_t i = 0; i < list.size() && !stopped_too; ++i) {
    std::uint64_t made = 0;
    if (!replace_all(one_by_one, list.search_strings[i], list.replacement_strings[i], nullptr,
                     &made))
      stopped_too = apply_failure{apply_error::rule_stopped, i, made};
  }
  if (stopped.has_value() != stopped_too.has_value()) std::abort();
  if (stopped &&
      (stopped->error != apply_error::rule_stopped || stopped->rule != stopped_too->rule ||
       stopped->replacements != stopped_too->replacements))
    std::abort();
  if (!stopped && applied != one_by_one) std::abort();
  return 0;
}
