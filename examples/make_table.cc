// SPDX-License-Identifier: MIT
// tlkmake <text file> <talk table>: builds a talk table from a text file of
// SOUND|TEXT lines, so that the sample table of the repository can be made
// again from its source. See dialog.txt for the escapes in TEXT.
#include <iostream>
#include <memory>
#include <string>

#include "common/text_lines.h"
#include "talk/ie_res_talk.h"

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Turns the escapes of a TEXT field into bytes; false on a malformed escape.
bool unescape(std::string_view field, std::string& text) {
  text.clear();
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      text.push_back(field[i]);
      continue;
    }
    if (++i == field.size()) return false;
    switch (field[i]) {
      case '0': text.push_back('\0'); break;
      case 'n': text.push_back('\n'); break;
      case '\\': text.push_back('\\'); break;
      case 'x': {
        if (i + 2 >= field.size()) return false;
        int high = hex_digit(field[i + 1]);
        int low = hex_digit(field[i + 2]);
        if (high < 0 || low < 0) return false;
        text.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        break;
      }
      default: return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cout << "Usage: tlkmake <text file> <talk table>" << std::endl;
    return 2;
  }
  file_bytes source;
  if (!read_file(argv[1], source)) {
    std::cerr << "Cannot read '" << argv[1] << "'." << std::endl;
    return 1;
  }
  auto table = std::make_unique<ie_res_talk>();
  line_reader lines(source);
  std::string_view line;
  std::string text;
  for (std::size_t number = 1; lines.next(line); ++number) {
    if (!line.empty() && line[0] == '#') continue;
    std::size_t bar = line.find('|');
    std::string sound(line.substr(0, bar == std::string_view::npos ? 0 : bar));
    if (bar == std::string_view::npos || sound.size() > 8 ||
        !unescape(line.substr(bar + 1), text)) {
      std::cerr << argv[1] << ":" << number << ": expected SOUND|TEXT" << std::endl;
      return 1;
    }
    table->add_entry(text)->set_sound(sound.c_str());
  }
  return table->save(argv[2]) ? 0 : 1;
}
