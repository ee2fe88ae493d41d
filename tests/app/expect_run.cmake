# Runs PROGRAM with the arguments in ARGS (a ;-list) and checks its exit status
# against STATUS. With FAILED_PATH set, standard output must be exactly the
# load-failure line for that path; without it, standard output must not
# contain that line. Standard error must stay empty.
# EMULATOR runs a cross-built program (Wine for the Windows build).
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(problems "")
if(NOT status STREQUAL "${STATUS}")
  string(APPEND problems "status '${status}', expected ${STATUS}\n")
endif()
if(DEFINED FAILED_PATH)
  set(expected "Cannot load input file : ${FAILED_PATH}\n")
  if(NOT out STREQUAL expected)
    string(APPEND problems "stdout '${out}', expected '${expected}'\n")
  endif()
elseif(out MATCHES "Cannot load input file")
  string(APPEND problems "stdout reports a load failure: '${out}'\n")
endif()
if(NOT err STREQUAL "")
  string(APPEND problems "stderr '${err}'\n")
endif()
if(problems)
  message(FATAL_ERROR "${PROGRAM} ${ARGS}:\n${problems}")
endif()
