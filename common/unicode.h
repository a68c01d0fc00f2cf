// SPDX-License-Identifier: MIT
// Which characters are letters and combining marks, and their lower case, by
// Unicode's own data (common/unicode_tables.inc, made by
// common/make_unicode_tables.py), so that a word and its lower case are the
// same on Linux, Windows and every other build: the C libraries' locales
// disagree on both.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The version of Unicode the tables were made from ("15.0.0").
std::string_view unicode_version();

// General category L: Lu, Ll, Lt, Lm, Lo.
bool is_unicode_letter(std::uint32_t character);
// General category M: Mn, Mc, Me.
bool is_unicode_mark(std::uint32_t character);
// The simple lower-case mapping; the character itself where it has none.
std::uint32_t unicode_lower(std::uint32_t character);

// `text` in lower case: each UTF-8 character by its simple mapping, every
// byte that is no UTF-8 character as it is.
std::string fold_case(std::string_view text);
