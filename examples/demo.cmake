# SPDX-License-Identifier: MIT
# The kit at work on the sample talk table. Run through the build's `demo`
# target; every file it makes goes to WORK, and the sample itself is never
# changed.
cmake_minimum_required(VERSION 3.25)

function(step title)
  message("")
  message("== ${title}")
endfunction()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed with status ${status}: ${ARGN}")
  endif()
endfunction()

# Runs a program with its standard output in a file; its standard error (the
# counts of wordsift) is shown only when the program fails.
function(run_to output)
  execute_process(COMMAND ${ARGN} OUTPUT_FILE ${output} ERROR_VARIABLE errors
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed with status ${status}: ${ARGN}\n${errors}")
  endif()
endfunction()

function(show file)
  file(STRINGS ${file} lines ENCODING UTF-8)
  list(JOIN lines " " joined)
  message("${joined}")
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

step("lexglean: every distinct word of examples/dialog.tlk")
run_to(${WORK}/words.txt ${LEXGLEAN} ${EXAMPLES}/dialog.tlk)
show(${WORK}/words.txt)

step("wordsift: those words minus examples/common-words.txt")
run_to(${WORK}/rare-words.txt ${WORDSIFT} ${WORK}/words.txt ${EXAMPLES}/common-words.txt)
show(${WORK}/rare-words.txt)

step("lexswap: a copy of the table rewritten with examples/rules.txt")
file(COPY ${EXAMPLES}/dialog.tlk DESTINATION ${WORK})
run(${LEXSWAP} ${WORK}/dialog.tlk ${EXAMPLES}/rules.txt)
run_to(${WORK}/words-after.txt ${LEXGLEAN} ${WORK}/dialog.tlk)
run_to(${WORK}/gone.txt ${WORDSIFT} ${WORK}/words.txt ${WORK}/words-after.txt)
run_to(${WORK}/new.txt ${WORDSIFT} ${WORK}/words-after.txt ${WORK}/words.txt)
message("Words gone:")
show(${WORK}/gone.txt)
message("Words new:")
show(${WORK}/new.txt)

step("wordloom: a model trained on the table's words, saved, and eight new words")
run_to(${WORK}/new-words.txt ${WORDLOOM} -r ${WORK}/words.txt -s ${WORK}/model.txt -c 8)
show(${WORK}/new-words.txt)
file(SIZE ${WORK}/model.txt model_size)
message("(the model is in ${WORK}/model.txt, ${model_size} bytes)")

step("lexport: the table's texts to a PO file, and one translated message into a copy")
run(${LEXPORT} export ${EXAMPLES}/dialog.tlk --encoding cp1252 --language de -o ${WORK}/de.po)
file(STRINGS ${WORK}/de.po messages REGEX "^msgctxt")
list(LENGTH messages message_count)
message("${message_count} messages in ${WORK}/de.po")
# A translator's work on one message, as Poedit would save it.
file(READ ${WORK}/de.po po)
set(source "msgid \"Well met, traveller. The road to Ashford is long and the nights are cold.\"")
string(REPLACE "${source}\nmsgstr \"\"" "${source}\nmsgstr \"Sei gegrüßt, Wanderer. Der Weg nach Ashford ist weit.\""
  po "${po}")
file(WRITE ${WORK}/de-done.po "${po}")
file(COPY_FILE ${EXAMPLES}/dialog.tlk ${WORK}/dialog-de.tlk)
run(${LEXPORT} import ${WORK}/dialog-de.tlk ${WORK}/de-done.po --encoding cp1252)
run_to(${WORK}/words-en.txt ${LEXGLEAN} --encoding cp1252 ${EXAMPLES}/dialog.tlk)
run_to(${WORK}/words-de.txt ${LEXGLEAN} --encoding cp1252 ${WORK}/dialog-de.tlk)
run_to(${WORK}/german.txt ${WORDSIFT} ${WORK}/words-de.txt ${WORK}/words-en.txt)
message("Words the translation brought:")
show(${WORK}/german.txt)
