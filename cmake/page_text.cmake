# SPDX-License-Identifier: MIT
# Renders the manual page PAGE as plain text into TEXT with CR LF line ends,
# for the Windows package: GROFF is the groff to use. Words are never
# hyphenated across lines, which Notepad readers search for whole.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${GROFF} -man -Tascii -rHY=0 -P-c -P-b -P-u ${PAGE}
  OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "groff could not render ${PAGE}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TEXT} "${text}")
