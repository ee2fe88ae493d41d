# quantreduce on the sample as PNG, lossless WebP, TIFF and JPEG gives the
# report and the picture it gives on the same pixels as a bitmap file: the
# lossless files against the sample itself, the JPEG against djpeg's bitmap
# of it; and written as PNG, the result is a palette PNG of the same pixels.
# PROGRAM is quantreduce, PICTURE the sample, WORK a scratch folder.
file(MAKE_DIRECTORY ${WORK})
function(reduce input output report)
  execute_process(COMMAND ${PROGRAM} ${input} ${output} RESULT_VARIABLE status OUTPUT_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "quantreduce ${input}: status '${status}', stdout '${out}'")
  endif()
  string(REGEX REPLACE "\\[[0-9]+msec\\]" "[msec]" out "${out}")
  set(${report} "${out}" PARENT_SCOPE)
endfunction()
function(tool)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}: status '${status}'")
  endif()
endfunction()

tool(convert ${PICTURE} ${WORK}/sample.png)
tool(cwebp -quiet -lossless ${WORK}/sample.png -o ${WORK}/sample.webp)
tool(convert ${PICTURE} -type TrueColor -compress LZW ${WORK}/sample.tif)
tool(sh -c "cjpeg -quality 90 '${PICTURE}' > '${WORK}/sample.jpg' && djpeg -bmp '${WORK}/sample.jpg' > '${WORK}/sample_jpg.bmp'")
foreach(pair "${PICTURE};${WORK}/sample.png" "${PICTURE};${WORK}/sample.webp"
             "${PICTURE};${WORK}/sample.tif" "${WORK}/sample_jpg.bmp;${WORK}/sample.jpg")
  list(GET pair 0 bitmap)
  list(GET pair 1 other)
  reduce(${bitmap} ${WORK}/from_bitmap.bmp expected)
  reduce(${other} ${WORK}/from_other.bmp got)
  if(NOT got STREQUAL expected)
    message(FATAL_ERROR "the report on ${other} differs from that on ${bitmap}:\n${got}\n---\n${expected}")
  endif()
  # The rows, after the headers (the resolution is the bitmap file's alone).
  file(READ ${WORK}/from_bitmap.bmp expected_rows OFFSET 54 HEX)
  file(READ ${WORK}/from_other.bmp rows OFFSET 54 HEX)
  if(NOT rows STREQUAL expected_rows)
    message(FATAL_ERROR "the picture reduced from ${other} differs from that from ${bitmap}")
  endif()
endforeach()

# OUT.png (the extension in any case): an 8-bit palette PNG of at most 255
# entries without transparency, whose pixels are those of the 24-bit result.
reduce(${PICTURE} ${WORK}/reduced.bmp bitmap_report)
reduce(${PICTURE} ${WORK}/reduced.Png png_report)
if(NOT png_report STREQUAL bitmap_report)
  message(FATAL_ERROR "the report differs when writing a PNG:\n${png_report}\n---\n${bitmap_report}")
endif()
file(READ ${WORK}/reduced.Png ihdr OFFSET 24 LIMIT 2 HEX)
if(NOT ihdr STREQUAL "0803")
  message(FATAL_ERROR "reduced.Png: bit depth and colour type ${ihdr}, expected 8 and 3")
endif()
# The chunks after IHDR: PLTE of 3 bytes an entry, no tRNS.
file(READ ${WORK}/reduced.Png chunks OFFSET 33 HEX)
string(FIND "${chunks}" "504c5445" plte)  # "PLTE"
string(FIND "${chunks}" "74524e53" trns)  # "tRNS"
if(plte LESS 8 OR NOT trns EQUAL -1)
  message(FATAL_ERROR "reduced.Png: PLTE at ${plte}, tRNS at ${trns}")
endif()
math(EXPR length_at "${plte} - 8")
string(SUBSTRING "${chunks}" ${length_at} 8 length)
math(EXPR entries "0x${length} / 3")
if(entries GREATER 255 OR entries LESS 1)
  message(FATAL_ERROR "reduced.Png: ${entries} palette entries")
endif()
execute_process(COMMAND compare -metric AE ${WORK}/reduced.bmp ${WORK}/reduced.Png null:
                RESULT_VARIABLE status ERROR_VARIABLE differing)
if(NOT differing STREQUAL "0")
  message(FATAL_ERROR "reduced.Png differs from reduced.bmp in ${differing} pixels")
endif()
