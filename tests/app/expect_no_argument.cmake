# quantview without an argument: status 1 and nothing on either stream.
# EMULATOR runs a cross-built program (Wine for the Windows build).
execute_process(COMMAND ${EMULATOR} ${PROGRAM} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT status EQUAL 1 OR NOT out STREQUAL "" OR NOT err STREQUAL "")
  message(FATAL_ERROR "status '${status}', stdout '${out}', stderr '${err}'")
endif()
