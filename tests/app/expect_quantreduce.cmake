# quantreduce as a process: argument checks, failure lines and a full run.
# PROGRAM is the executable, WORK a scratch folder.
# run(status stdout-regex stderr-regex args...)
function(run expected_status expected_out expected_err)
  # EMULATOR runs a cross-built program (Wine for the Windows build).
  execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT status EQUAL ${expected_status} OR NOT out MATCHES "${expected_out}" OR NOT err MATCHES "${expected_err}")
    message(FATAL_ERROR "quantreduce ${ARGN}: status '${status}', stdout '${out}', stderr '${err}'")
  endif()
endfunction()
set(report "^color count: 63395\npalette count:255\n(pal\\[[0-9]+\\] \\(count:[0-9]+\\) : [0-9]+, [0-9]+, [0-9]+\n)+start\ncache hit: 0% \\[[0-9]+msec\\]\n")

file(MAKE_DIRECTORY ${WORK})
file(REMOVE ${WORK}/reduced.bmp)
# A missing operand: a line saying so and the usage on standard error.
run(2 "^$" "^quantreduce: missing IN and OUT\nUsage: quantreduce ")
run(2 "^$" "^quantreduce: missing OUT" samples/astronaut.bmp)
run(1 "^Cannot load input file : ${WORK}/missing.bmp\n$" "^quantreduce: ${WORK}/missing.bmp: no such file\n$"
    ${WORK}/missing.bmp ${WORK}/reduced.bmp)
run(1 "${report}Cannot write output file : ${WORK}/no/such/folder.bmp\n$"
    "^quantreduce: ${WORK}/no/such/folder.bmp: its folder does not exist\n$"
    samples/astronaut.bmp ${WORK}/no/such/folder.bmp)
run(0 "${report}$" "^$" samples/astronaut.bmp ${WORK}/reduced.bmp)
file(SIZE ${WORK}/reduced.bmp size)
# 54 header bytes and 512 rows of 512 * 3 bytes.
if(NOT size EQUAL 786486)
  message(FATAL_ERROR "reduced.bmp has ${size} bytes")
endif()
# A reduced picture can be reduced again, also where the paths are not ASCII
# (on Windows the programs' manifest makes the narrow calls take UTF-8).
set(folder "${WORK}/Bilder-名前-Ωμέγα")
file(MAKE_DIRECTORY ${folder})
file(COPY_FILE ${WORK}/reduced.bmp "${folder}/reduced-ü.bmp")
run(0 "^color count: [0-9]+\npalette count:[0-9]+\n" "^$" "${folder}/reduced-ü.bmp" "${folder}/again-ü.bmp")
if(NOT EXISTS "${folder}/again-ü.bmp")
  message(FATAL_ERROR "no ${folder}/again-ü.bmp")
endif()

# --help and --version: on standard output, status 0, wherever they stand.
run(0 "^quantreduce ${VERSION}\n$" "^$" --version)
run(0 "^Usage: quantreduce \\[OPTIONS\\] IN OUT\n.*--version" "^$" --help)
run(0 "^Usage: quantreduce " "^$" --help ${WORK}/missing.bmp)
