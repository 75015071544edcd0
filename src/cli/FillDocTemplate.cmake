# Writes OUTPUT: TEMPLATE with each line "@PART@" replaced by the output of
# "CLI --print-doc PART" (the parts that velkor-cli makes from its option
# table and exit codes).
#   cmake -DCLI=... -DTEMPLATE=... -DOUTPUT=... -P FillDocTemplate.cmake
file(READ ${TEMPLATE} text)
string(REGEX MATCHALL "(^|\n)@[a-z-]+@\n" markers "${text}")
foreach(marker IN LISTS markers)
  string(REGEX REPLACE "^\n?@([a-z-]+)@\n$" "\\1" part "${marker}")
  execute_process(COMMAND ${CLI} --print-doc ${part}
    OUTPUT_VARIABLE generated ERROR_VARIABLE problem RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR generated STREQUAL "")
    message(FATAL_ERROR "${CLI} --print-doc ${part} failed (${result}): ${problem}")
  endif()
  string(REGEX REPLACE "^\n" "" marker_line "${marker}")
  string(REPLACE "${marker_line}" "${generated}" text "${text}")
endforeach()
file(WRITE ${OUTPUT}.tmp "${text}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
