// SPDX-License-Identifier: MIT
#include "lexport/po_file.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

namespace {

// The control bytes that gettext writes as a backslash and a letter, and the
// letters; reading and writing take them from here alike.
constexpr std::array<std::pair<char, char>, 7> k_letter_escapes{
    {{'\n', 'n'}, {'\t', 't'}, {'\r', 'r'}, {'\a', 'a'}, {'\b', 'b'}, {'\f', 'f'}, {'\v', 'v'}}};

// gettext's escapes: those above, a backslash and a quote; every other byte,
// control or not, stands as it is. The bytes between escapes go in runs.
void append_escaped(std::string& out, std::string_view text) {
  static constexpr std::array<char, 256> k_escape_of = [] {
    std::array<char, 256> escape_of{};
    for (auto [byte, letter] : k_letter_escapes)
      escape_of[static_cast<unsigned char>(byte)] = letter;
    escape_of['\\'] = '\\';
    escape_of['"'] = '"';
    return escape_of;
  }();
  for (;;) {
    std::size_t special = 0;
    while (special < text.size() && k_escape_of[static_cast<unsigned char>(text[special])] == 0)
      ++special;
    out.append(text.substr(0, special));
    if (special == text.size()) return;
    out += '\\';
    out += k_escape_of[static_cast<unsigned char>(text[special])];
    text.remove_prefix(special + 1);
  }
}

// The byte that a backslash and `letter` stand for, if `letter` is one of
// the letters above.
std::optional<char> byte_of_letter(char letter) {
  for (auto [byte, escape] : k_letter_escapes)
    if (escape == letter) return byte;
  return std::nullopt;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
  return text;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads the quoted string that `rest` starts with (blanks before it
// allowed) and appends its bytes to `out`; the reason it cannot, if any.
std::optional<std::string> read_string(std::string_view rest, std::string& out) {
  rest = trimmed(rest);
  if (rest.empty() || rest.front() != '"') return std::string("a quoted string was expected.");
  std::size_t at = 1;
  for (;;) {
    // The bytes up to the next quote or backslash, in one run.
    std::size_t special = at;
    while (special < rest.size() && rest[special] != '"' && rest[special] != '\\') ++special;
    if (special == rest.size()) return std::string("the string is not terminated.");
    out.append(rest.substr(at, special - at));
    at = special + 1;
    if (rest[special] == '"') break;
    if (at >= rest.size()) return std::string("the string is not terminated.");
    const char e = rest[at++];
    if (std::optional<char> byte = byte_of_letter(e)) {
      out += *byte;
      continue;
    }
    switch (e) {
      case '\\':
      case '"':
      case '\'':
      case '?': out += e; break;
      case 'x': {
        unsigned value = 0;
        std::size_t digits = 0;
        for (; at < rest.size() && hex_digit(rest[at]) >= 0 && digits < 2; ++at, ++digits)
          value = value * 16 + static_cast<unsigned>(hex_digit(rest[at]));
        if (digits == 0) return std::string("a bad escape sequence '\\x'.");
        out += static_cast<char>(value);
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          unsigned value = static_cast<unsigned>(e - '0');
          for (int more = 0; more < 2 && at < rest.size() && rest[at] >= '0' && rest[at] <= '7';
               ++more)
            value = value * 8 + static_cast<unsigned>(rest[at++] - '0');
          out += static_cast<char>(value & 0xffu);
          break;
        }
        return "a bad escape sequence '\\" + std::string(1, e) + "'.";
    }
  }
  if (!trimmed(rest.substr(at)).empty()) return std::string("text follows the string.");
  return std::nullopt;
}

// The message being read, and what its next string continues.
struct pending {
  po_message message;
  bool has_id = false;
  bool has_translation = false;
  std::string* continued = nullptr;
  bool any() const { return message.context || has_id; }
};

}  // namespace

void append_po_string(std::string& out, std::string_view keyword, std::string_view text) {
  out += keyword;
  const std::size_t first_feed = text.find('\n');
  if (first_feed == std::string_view::npos || first_feed + 1 == text.size()) {
    out += " \"";
    append_escaped(out, text);
    out += "\"\n";
    return;
  }
  out += " \"\"\n";
  while (!text.empty()) {
    const std::size_t feed = text.find('\n');
    const std::size_t size = feed == std::string_view::npos ? text.size() : feed + 1;
    out += '"';
    append_escaped(out, text.substr(0, size));
    out += "\"\n";
    text.remove_prefix(size);
  }
}

std::string po_header_text(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string text;
  for (const auto& [name, value] : fields) text += name + ": " + value + "\n";
  return text;
}

std::optional<std::string> po_header_field(std::string_view header, std::string_view name) {
  const bool charset = name == "charset";
  const std::string_view field = charset ? "Content-Type" : name;
  while (!header.empty()) {
    const std::size_t feed = header.find('\n');
    std::string_view line = header.substr(0, feed);
    header.remove_prefix(feed == std::string_view::npos ? header.size() : feed + 1);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || trimmed(line.substr(0, colon)) != field) continue;
    std::string_view value = trimmed(line.substr(colon + 1));
    if (!charset) return std::string(value);
    const std::size_t at = value.find("charset=");
    if (at == std::string_view::npos) return std::nullopt;
    value.remove_prefix(at + 8);
    return std::string(trimmed(value.substr(0, value.find(';'))));
  }
  return std::nullopt;
}

outcome read_po(std::string_view text, po_file& po) {
  po = {};
  return read_po(text, [&po](po_message& message, bool header) {
    if (header) {
      po.header = std::move(message.translation);
    } else {
      po.messages.push_back(std::move(message));
    }
    return true;
  });
}

namespace {

// Reads a PO file's text line by line, gathering the message being read.
class po_reader {
 public:
  explicit po_reader(const std::function<bool(po_message&, bool header)>& visit) : visit_(visit) {}

  outcome read(std::string_view text) {
    while (!text.empty() && !stopped_) {
      ++number_;
      const std::size_t feed = text.find('\n');
      std::string_view line = text.substr(0, feed);
      text.remove_prefix(feed == std::string_view::npos ? text.size() : feed + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (outcome done = read_line(trimmed(line)); !done.ok()) return done;
    }
    if (stopped_) return {};
    return finish();
  }

 private:
  failure refuse(std::string why) const {
    return {failure::kind::refused, std::move(why), number_};
  }

  outcome read_line(std::string_view line) {
    if (line.empty()) return finish();
    if (line.front() == '#') return read_comment(line);
    if (line.front() == '"') {
      if (current_.continued == nullptr) return refuse("a string stands without a keyword.");
      return read_string_of(line);
    }
    std::size_t end = 0;
    while (end < line.size() && !is_blank(line[end]) && line[end] != '"') ++end;
    return read_keyword(line.substr(0, end), line.substr(end));
  }

  outcome read_string_of(std::string_view rest) {
    if (std::optional<std::string> why = read_string(rest, *current_.continued))
      return refuse(std::move(*why));
    return {};
  }

  // A comment after a message's msgstr ends that message, even with no
  // blank line between them.
  outcome read_comment(std::string_view line) {
    if (current_.has_translation)
      if (outcome done = finish(); !done.ok() || stopped_) return done;
    current_.continued = nullptr;
    // Obsolete messages (#~) and earlier versions (#|) are gettext's
    // memory, not the translation; the flags before an obsolete message
    // are its own.
    if (line.size() > 1 && line[1] == '~') current_.message.fuzzy = false;
    if (line.size() > 1 && line[1] == ',') {
      std::string_view flags = line.substr(2);
      while (!flags.empty()) {
        const std::size_t comma = flags.find(',');
        if (trimmed(flags.substr(0, comma)) == "fuzzy") current_.message.fuzzy = true;
        flags.remove_prefix(comma == std::string_view::npos ? flags.size() : comma + 1);
      }
    }
    return {};
  }

  outcome read_keyword(std::string_view keyword, std::string_view rest) {
    if (keyword == "msgid_plural" || keyword.rfind("msgstr[", 0) == 0)
      return refuse("plural forms are not taken: a talk table has one text an entry.");
    if (keyword == "msgctxt" || keyword == "msgid") {
      if (current_.has_translation)
        if (outcome done = finish(); !done.ok() || stopped_) return done;
      if (current_.has_id || (keyword == "msgctxt" && current_.message.context))
        return refuse("the message is incomplete.");
      if (!current_.message.context && !current_.has_id) current_.message.line = number_;
      if (keyword == "msgctxt") {
        current_.message.context.emplace();
        current_.continued = &*current_.message.context;
      } else {
        current_.has_id = true;
        current_.continued = &current_.message.id;
      }
    } else if (keyword == "msgstr") {
      if (!current_.has_id || current_.has_translation) return refuse("msgstr without its msgid.");
      current_.has_translation = true;
      current_.continued = &current_.message.translation;
    } else {
      return refuse("lexport cannot read this line.");
    }
    return read_string_of(rest);
  }

  // Ends the message being read, if there is one.
  outcome finish() {
    // Comments before a blank line still belong to the message that
    // follows it, as gettext reads them: a fuzzy mark is not lost.
    if (!current_.any()) return {};
    if (!current_.has_id || !current_.has_translation)
      return failure{failure::kind::refused, "the message is incomplete.", current_.message.line};
    const bool header = !current_.message.context && current_.message.id.empty() && !header_seen_;
    header_seen_ = header_seen_ || header;
    stopped_ = !visit_(current_.message, header);
    current_ = {};
    return {};
  }

  const std::function<bool(po_message&, bool header)>& visit_;
  pending current_;
  bool stopped_ = false;
  bool header_seen_ = false;
  std::size_t number_ = 0;
};

}  // namespace

outcome read_po(std::string_view text, const std::function<bool(po_message&, bool header)>& visit) {
  return po_reader(visit).read(text);
}
