# The shipped programs carry no test machinery: none of the symbols that the
# test-control library (CONTROL) defines, nothing of its namespace, no input
# script, popup-choice queue or call log.
execute_process(COMMAND ${NM} --defined-only -g ${CONTROL}
  RESULT_VARIABLE status OUTPUT_VARIABLE control_symbols)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} ${CONTROL}: status ${status}")
endif()
# Its own functions and data (not the weak copies of inline code that any
# program may share).
string(REGEX MATCHALL "[0-9a-f]+ [TDBR] [^\n]+" control_symbols "${control_symbols}")
list(TRANSFORM control_symbols REPLACE "^[0-9a-f]+ [TDBR] " "")
list(LENGTH control_symbols count)
if(count LESS 10)
  message(FATAL_ERROR "only ${count} symbols in ${CONTROL}: the check would see nothing")
endif()
foreach(program IN LISTS PROGRAMS)
  execute_process(COMMAND ${NM} --defined-only ${program}
    RESULT_VARIABLE status OUTPUT_VARIABLE symbols)
  if(NOT status EQUAL 0 OR NOT symbols MATCHES " T main\n")
    message(FATAL_ERROR "${NM} ${program}: status ${status}, no main")
  endif()
  foreach(symbol IN LISTS control_symbols)
    string(FIND "${symbols}" " ${symbol}\n" at)
    if(NOT at EQUAL -1)
      message(FATAL_ERROR "${program} holds ${symbol} of the test control")
    endif()
  endforeach()
  string(REGEX MATCHALL "[^\n]*(portable4test|[Ss]cripted|_script|popup_choice|call_log)[^\n]*" found
         "${symbols}")
  if(found)
    message(FATAL_ERROR "${program} holds test machinery: ${found}")
  endif()
endforeach()
