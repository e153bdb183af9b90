# The first program shown in the programming guide is the one CI builds and runs: the fenced C
# block of the guide must equal the example file.
# Usage: cmake -DGUIDE=<docs/api.md> -DPROGRAM=<first_program.c> -P check_guide_program.cmake
file(READ ${GUIDE} guide)
file(READ ${PROGRAM} program)
string(FIND "${guide}" "```c\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "${GUIDE}: no C program block")
endif()
math(EXPR start "${start} + 5")
string(SUBSTRING "${guide}" ${start} -1 rest)
string(FIND "${rest}" "```" end)
string(SUBSTRING "${rest}" 0 ${end} shown)
if(NOT shown STREQUAL program)
  message(FATAL_ERROR "${GUIDE}: the first program differs from ${PROGRAM}")
endif()
