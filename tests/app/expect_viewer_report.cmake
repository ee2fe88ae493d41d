# quantview on a machine without a display: it runs headless, says so (where
# it was built with a display driver), prints the whole report (the same as
# quantreduce's for the same file), closes its window by itself and ends with
# status 0, well within the timeout. The picture is read
# from a folder whose name is not ASCII.
set(copy "${WORK}-Bilder-名前/picture-ü.bmp")
file(MAKE_DIRECTORY "${WORK}-Bilder-名前")
file(COPY_FILE ${PICTURE} "${copy}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QUANTVIEW_DISPLAY
          ${VIEWER} "${copy}"
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "quantview: status '${status}', stderr '${err}'")
endif()
# A build that could show a window says once why there is none.
if(WITH_GTK)
  set(notice "no display could be opened: running without windows\n")
else()
  set(notice "")
endif()
if(NOT err STREQUAL notice)
  message(FATAL_ERROR "quantview's standard error: '${err}', expected '${notice}'")
endif()
execute_process(COMMAND ${REDUCER} ${PICTURE} ${WORK}.bmp
  RESULT_VARIABLE rstatus OUTPUT_VARIABLE expected)
if(NOT rstatus EQUAL 0)
  message(FATAL_ERROR "quantreduce: status '${rstatus}'")
endif()
# The remapping time may differ between the runs.
string(REGEX REPLACE "\\[[0-9]+msec\\]" "[msec]" out "${out}")
string(REGEX REPLACE "\\[[0-9]+msec\\]" "[msec]" expected "${expected}")
if(NOT out MATCHES "^color count: [0-9]+\npalette count:[0-9]+\n(pal\\[[0-9]+\\] [^\n]*\n)+start\ncache hit: 0% \\[msec\\]\n$")
  message(FATAL_ERROR "incomplete report:\n${out}")
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "the viewer's report differs from quantreduce's:\n${out}\n---\n${expected}")
endif()
