#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Makes common/unicode_tables.inc from Unicode's own character data, so that
# which characters are letters, and their lower case, is the same on every
# system the kit runs on (the C libraries' locales disagree):
#
#   common/make_unicode_tables.py [/usr/share/unicode/UnicodeData.txt]
#
# Debian's unicode-data package holds the file. The made file is committed:
# a build needs neither this script nor the package.
import sys
from pathlib import Path

source = Path(sys.argv[1] if len(sys.argv) > 1 else "/usr/share/unicode/UnicodeData.txt")
out = Path(__file__).resolve().parent / "unicode_tables.inc"
version_file = source.parent / "ReadMe.txt"


def version():
    # Debian's copy names its version in ReadMe.txt ("Version 15.0.0 of the
    # Unicode Standard"); the caller may also set it.
    if version_file.exists():
        for line in version_file.read_text(errors="replace").splitlines():
            if "Version" in line and "Unicode" in line:
                for word in line.split():
                    if word[:1].isdigit():
                        return word.rstrip(".,")
    return "unknown"


category = {}
lower = {}
first = None
for line in source.read_text().splitlines():
    fields = line.split(";")
    code = int(fields[0], 16)
    name, general = fields[1], fields[2]
    if name.endswith(", First>"):
        first = code
        continue
    if name.endswith(", Last>"):
        for c in range(first, code + 1):
            category[c] = general
        continue
    category[code] = general
    if fields[13]:
        lower[code] = int(fields[13], 16)


def ranges(keep):
    result = []
    for c in sorted(category):
        if not keep(category[c]):
            continue
        if result and result[-1][1] == c - 1:
            result[-1][1] = c
        else:
            result.append([c, c])
    return result


letters = ranges(lambda g: g.startswith("L"))
marks = ranges(lambda g: g.startswith("M"))

with out.open("w") as f:
    f.write("// SPDX-License-Identifier: MIT\n")
    f.write("// Made by common/make_unicode_tables.py from UnicodeData.txt of Unicode "
            f"{version()}; do not edit.\n")
    f.write(f'constexpr std::string_view k_unicode_version = "{version()}";\n\n')
    for name, table in (("k_letters", letters), ("k_marks", marks)):
        f.write(f"// General category {'L' if name == 'k_letters' else 'M'}, "
                "as ranges of code points.\n")
        f.write(f"constexpr code_range {name}[] = {{\n")
        for a, b in table:
            f.write(f"    {{0x{a:04X}, 0x{b:04X}}},\n")
        f.write("};\n\n")
    f.write("// The simple lower-case mappings, in code point order.\n")
    f.write("constexpr case_pair k_lower[] = {\n")
    for c in sorted(lower):
        f.write(f"    {{0x{c:04X}, 0x{lower[c]:04X}}},\n")
    f.write("};\n")
print(f"{out}: {len(letters)} letter ranges, {len(marks)} mark ranges, "
      f"{len(lower)} lower-case mappings, Unicode {version()}")
