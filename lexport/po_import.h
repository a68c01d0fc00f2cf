// SPDX-License-Identifier: MIT
// `lexport import`: the translations of a PO file written into a talk table,
// in the table's code page, and the table saved over itself.
#pragma once

#include <string>

struct import_settings {
  std::string table;
  std::string po;
  std::string encoding;
  bool fuzzy = false;
};

// Runs the import; its exit status.
int run_import(const import_settings& settings);
