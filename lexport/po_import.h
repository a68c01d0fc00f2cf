// SPDX-License-Identifier: MIT
// `lexport import`: the translations of a PO file written into a talk table
// (and the female table beside it), in the table's code page or moved to
// the translation's, and the tables saved over themselves.
#pragma once

#include <string>

struct import_settings {
  std::string table;
  std::string po;
  std::string encoding;
  std::string to_encoding;
  std::string female;
  // The tables the PO file was made from, where the tables written do not
  // hold its source texts.
  std::string source;
  std::string source_female;
  bool fuzzy = false;
};

// Runs the import; its exit status.
int run_import(const import_settings& settings);
