// SPDX-License-Identifier: MIT
// lexport: a talk table's texts out to a gettext PO file, and a translated
// PO file back into a table, in the game's code page.
#pragma once

// The lexport command; returns its exit status. Its messages go to standard
// error, since standard output may carry the PO file itself.
int run_lexport(int argc, char** argv);
