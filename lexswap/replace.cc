#include "lexswap/replace.h"

#include <algorithm>
#include <cstring>

replace_limits replace_limits::for_rule(std::size_t text_length,
                                        std::size_t replacement_length) {
  return {1'000'000 + 16 * text_length,
          (std::size_t{16} << 20) + text_length * (replacement_length + 1)};
}

namespace {

// The text as a gap buffer: the part already searched at the front of
// `bytes`, the part still to search at its end. A replacement happens at the
// boundary, so neither part ever has to be shifted as a whole.
class gap_text {
 public:
  gap_text(std::string_view text, std::size_t split, std::size_t room)
      : bytes_(text.size() + room, '\0') {
    std::memcpy(bytes_.data(), text.data(), split);
    right_ = bytes_.size() - (text.size() - split);
    std::memcpy(bytes_.data() + right_, text.data() + split, text.size() - split);
    left_ = split;
  }

  std::size_t size() const { return left_ + (bytes_.size() - right_); }
  std::string_view right() const {
    return std::string_view(bytes_).substr(right_);
  }

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
    std::memmove(bytes_.data() + right_ - replacement.size() - back,
                 bytes_.data() + left_ - back, back);
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

  std::string bytes_;
  std::size_t left_ = 0;
  std::size_t right_ = 0;
};

}  // namespace

bool replace_all(std::string& text, std::string_view search,
                 std::string_view replacement) {
  std::size_t found = text.find(search);
  if (found == std::string::npos) return true;
  // Both never finish: the empty string is found forever, and a replacement
  // that holds its search string brings it straight back.
  if (search.empty() || replacement.find(search) != std::string_view::npos)
    return false;

  const replace_limits limits =
      replace_limits::for_rule(text.size(), replacement.size());
  gap_text gap(text, found, std::max<std::size_t>(64, 4 * replacement.size()));
  std::size_t replacements = 0;
  // The unsearched part starts with an occurrence, the leftmost one.
  for (;;) {
    // No occurrence can begin more than |search| - 1 bytes before the
    // replacement, because the text before it held none; so only those
    // bytes are searched again, together with the replacement.
    std::size_t back = std::min(search.size() - 1, gap.searched());
    gap.replace(search.size(), replacement, back);
    if (++replacements > limits.max_replacements || gap.size() > limits.max_length)
      return false;
    std::size_t next = gap.right().find(search);
    if (next == std::string_view::npos) break;
    gap.advance(next);
  }
  gap.take(text);
  return true;
}
