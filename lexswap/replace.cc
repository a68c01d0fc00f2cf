// SPDX-License-Identifier: MIT
#include "lexswap/replace.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint64_t k_most = std::numeric_limits<std::uint64_t>::max();

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  return b > k_most - a ? k_most : a + b;
}

std::uint64_t saturating_multiply(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > k_most / a ? k_most : a * b;
}

}  // namespace

replace_limits replace_limits::for_rule(std::uint64_t text_length, std::uint64_t search_length,
                                        std::uint64_t replacement_length) {
  const std::uint64_t longest =
      saturating_add(std::uint64_t{16} << 20,
                     saturating_multiply(text_length, saturating_add(replacement_length, 1)));
  if (replacement_length <= search_length)
    return {saturating_add(1'000'000, saturating_multiply(text_length, text_length) / 2), longest};
  return {saturating_add(1'000'000, saturating_multiply(16, text_length)), longest};
}

replace_limits replace_limits::for_part(std::uint64_t part_length, std::uint64_t search_length,
                                        std::uint64_t replacement_length) {
  const std::uint64_t longest =
      saturating_multiply(part_length, saturating_add(replacement_length, 1));
  if (replacement_length <= search_length)
    return {saturating_multiply(part_length, part_length) / 2, longest};
  return {saturating_multiply(16, part_length), longest};
}

namespace {

// The text as a gap buffer: the part already searched at the front of
// `bytes`, the part still to search at its end. A replacement happens at the
// boundary, so neither part ever has to be shifted as a whole.
class gap_text {
 public:
  // `storage` is scratch memory that outlives the call, so that the many
  // small texts of a table do not each cost an allocation.
  gap_text(std::string_view text, std::size_t split, std::size_t room, std::string& storage)
      : bytes_(storage) {
    bytes_.resize(text.size() + room);
    std::memcpy(bytes_.data(), text.data(), split);
    right_ = bytes_.size() - (text.size() - split);
    std::memcpy(bytes_.data() + right_, text.data() + split, text.size() - split);
    left_ = split;
  }

  std::size_t size() const { return left_ + (bytes_.size() - right_); }
  std::string_view right() const { return std::string_view(bytes_).substr(right_); }

  // Moves the first `count` bytes of the unsearched part to the searched
  // one.
  void advance(std::size_t count) {
    std::memmove(bytes_.data() + left_, bytes_.data() + right_, count);
    left_ += count;
    right_ += count;
  }

  // Drops the `size` bytes at the start of the unsearched part and puts
  // `replacement` in their place. The last `back` searched bytes go back to
  // the unsearched part, in front of the replacement, to be searched again
  // together with it.
  void replace(std::size_t size, std::string_view replacement, std::size_t back) {
    right_ += size;
    if (right_ - left_ < replacement.size()) grow(replacement.size());
    std::memmove(bytes_.data() + right_ - replacement.size() - back, bytes_.data() + left_ - back,
                 back);
    std::memcpy(bytes_.data() + right_ - replacement.size(), replacement.data(),
                replacement.size());
    right_ -= replacement.size() + back;
    left_ -= back;
  }

  std::size_t searched() const { return left_; }

  void take(std::string& text) const {
    text.assign(bytes_.data(), left_);
    text.append(bytes_.data() + right_, bytes_.size() - right_);
  }

 private:
  void grow(std::size_t needed) {
    std::size_t tail = bytes_.size() - right_;
    std::string bigger(bytes_.size() * 2 + needed, '\0');
    std::memcpy(bigger.data(), bytes_.data(), left_);
    std::memcpy(bigger.data() + bigger.size() - tail, bytes_.data() + right_, tail);
    right_ = bigger.size() - tail;
    bytes_.swap(bigger);
  }

  std::string& bytes_;
  std::size_t left_ = 0;
  std::size_t right_ = 0;
};

}  // namespace

namespace {

// Adds one replacement to the changed regions: `size` bytes at `at` of the
// current text became `replacement_size` bytes. Replacements come nearly in
// text order, so only the last few regions are ever looked at.
void record_replacement(std::vector<changed_region>& regions, std::size_t at, std::size_t size,
                        std::size_t replacement_size) {
  std::size_t end = at + size;
  // Regions wholly after the replaced bytes move with the size change.
  std::size_t after = regions.size();
  while (after > 0 && regions[after - 1].start > end) --after;
  for (std::size_t i = after; i < regions.size(); ++i) {
    regions[i].start = regions[i].start + replacement_size - size;
    regions[i].end = regions[i].end + replacement_size - size;
  }
  // Regions that overlap or touch the replaced bytes merge with them.
  std::size_t first = after;
  while (first > 0 && regions[first - 1].end >= at) --first;
  changed_region merged{at, end, 0};
  std::size_t covered = 0;
  for (std::size_t i = first; i < after; ++i) {
    merged.start = std::min(merged.start, regions[i].start);
    merged.end = std::max(merged.end, regions[i].end);
    covered += regions[i].end - regions[i].start;
    merged.old_size += regions[i].old_size;
  }
  // The bytes of the merged span outside every region are old bytes.
  merged.old_size += (merged.end - merged.start) - covered;
  merged.end = merged.end - size + replacement_size;
  regions.erase(regions.begin() + static_cast<std::ptrdiff_t>(first),
                regions.begin() + static_cast<std::ptrdiff_t>(after));
  regions.insert(regions.begin() + static_cast<std::ptrdiff_t>(first), merged);
}

}  // namespace

bool can_form_anew(std::string_view search, std::string_view replacement) {
  const auto m = static_cast<std::ptrdiff_t>(search.size());
  const auto r = static_cast<std::ptrdiff_t>(replacement.size());
  // Taking bytes out joins the text on either side of them, and any search
  // string of two bytes or more may span the joint.
  if (r == 0) return m >= 2;
  // A new occurrence has to overlap the replacement; try every overlap and
  // see whether the bytes they share agree.
  for (std::ptrdiff_t at = 1 - m; at < r; ++at) {
    bool agree = true;
    for (std::ptrdiff_t i = std::max<std::ptrdiff_t>(0, -at); i < m && at + i < r && agree; ++i)
      agree = search[static_cast<std::size_t>(i)] == replacement[static_cast<std::size_t>(at + i)];
    if (agree) return true;
  }
  return false;
}

bool replace_all(std::string& text, std::string_view search, std::string_view replacement,
                 std::vector<changed_region>* changes, std::uint64_t* made) {
  if (changes != nullptr) changes->clear();
  if (made != nullptr) *made = 0;
  // The empty string is found forever, in every text.
  if (search.empty()) return false;
  std::size_t found = text.find(search);
  if (found == std::string::npos) return true;
  // A replacement that holds its search string brings it straight back.
  if (replacement.find(search) != std::string_view::npos) return false;

  const replace_limits limits =
      replace_limits::for_rule(text.size(), search.size(), replacement.size());
  thread_local std::string storage;
  gap_text gap(text, found, std::max<std::size_t>(64, 4 * replacement.size()), storage);
  std::uint64_t replacements = 0;
  // The unsearched part starts with an occurrence, the leftmost one.
  for (;;) {
    if (changes != nullptr)
      record_replacement(*changes, gap.searched(), search.size(), replacement.size());
    // No occurrence can begin more than |search| - 1 bytes before the
    // replacement, because the text before it held none; so only those
    // bytes are searched again, together with the replacement.
    std::size_t back = std::min(search.size() - 1, gap.searched());
    gap.replace(search.size(), replacement, back);
    if (++replacements > limits.max_replacements || gap.size() > limits.max_length) {
      if (made != nullptr) *made = replacements;
      return false;
    }
    std::size_t next = gap.right().find(search);
    if (next == std::string_view::npos) break;
    gap.advance(next);
  }
  gap.take(text);
  if (made != nullptr) *made = replacements;
  return true;
}
