# The boundary check must catch what it is there to catch: runs it on a small tree that holds one
# breach of each kind beside files that keep the rules, and compares what it reports with
# expected.txt, one line per planted breach.
execute_process(
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_CURRENT_LIST_DIR}/tree -P ${CHECK}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc EQUAL 0)
  message(FATAL_ERROR "the check passed a tree full of breaches:\n${out}")
endif()
string(REGEX MATCHALL "(qt|layer|posix)-[a-z]+ [^\n]*" reported "${out}")
list(SORT reported)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/expected.txt expected)
list(SORT expected)
if(NOT reported STREQUAL expected)
  string(REPLACE ";" "\n  " reported "${reported}")
  string(REPLACE ";" "\n  " expected "${expected}")
  message(FATAL_ERROR "reported:\n  ${reported}\nexpected:\n  ${expected}")
endif()
