# Runs a program (through EMULATOR when one is given) and checks its standard
# output: with EXPECTED_FILE, byte for byte against the file; with
# SIGNATURE_FILE and SIGNATURE_KEY, its line "signature N" against the line
# "<SIGNATURE_KEY> N" of the file.
#
# ARGS separates the program's arguments with "|" (a ";" would not survive
# the test's command line).
#
#   cmake -DPROGRAM=... [-DEMULATOR=...] [-DARGS=a|b] -DEXPECTED_FILE=... -P expect-output.cmake
string(REPLACE "|" ";" arguments "${ARGS}")
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${arguments}
                OUTPUT_VARIABLE output RESULT_VARIABLE status)
if(NOT status MATCHES "^[01]$")
  message(FATAL_ERROR "${PROGRAM} ended with ${status}:\n${output}")
endif()

if(DEFINED EXPECTED_FILE)
  file(READ "${EXPECTED_FILE}" expected)
  if(NOT output STREQUAL expected)
    message(FATAL_ERROR "output differs from ${EXPECTED_FILE}:\n${output}\nexpected:\n${expected}")
  endif()
else()
  file(STRINGS "${SIGNATURE_FILE}" lines REGEX "^${SIGNATURE_KEY} [0-9]+$")
  list(LENGTH lines count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "no line \"${SIGNATURE_KEY} N\" in ${SIGNATURE_FILE}")
  endif()
  string(REGEX REPLACE "^.* " "" expected "${lines}")
  string(REGEX MATCH "signature [0-9]+" found "${output}")
  if(NOT found STREQUAL "signature ${expected}")
    message(FATAL_ERROR "search signature changed: \"${found}\", expected ${expected} "
                        "(${SIGNATURE_FILE}); update it only for an intended change, "
                        "with \"Bench: N\" in the commit message")
  endif()
  message(STATUS "${found}")
endif()
