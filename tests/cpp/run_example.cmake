# SPDX-License-Identifier: MIT
# Runs the C++ example on the golden set, in a fresh folder WORK: its
# listing, then the payload of one resource, which must be the bytes of its
# resource file after the 12-byte header and the 8-byte body header.
#   cmake -DSHOW=PROGRAM -DEMULATOR=RUNNER -DGOLDEN=tests/golden -DWORK=FOLDER -P run_example.cmake
# EMULATOR is a list with '|' between its items, or empty.
string(REPLACE "|" ";" runner "${EMULATOR}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${GOLDEN}/golden.set DESTINATION ${WORK})

function(run expected_status)
  execute_process(COMMAND ${runner} ${SHOW} ${ARGN} WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  # Windows programs end their lines with CR LF.
  string(REPLACE "\r\n" "\n" out "${out}")
  string(REPLACE "\r\n" "\n" err "${err}")
  if(NOT status STREQUAL expected_status)
    message(FATAL_ERROR "show ${ARGN}: status ${status}, not ${expected_status}; stderr:\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
endfunction()

run(0 golden.set)
set(listing "3 a.res\n256 high-words.res\n4088 sub/block.res\n!discard\n0 empty.res\n27 odd-header.res\n")
string(APPEND listing "100 name-of-exactly-32-bytes-xyz.res\n")
if(NOT out STREQUAL listing OR NOT err STREQUAL "")
  message(FATAL_ERROR "show golden.set: stdout\n${out}\nnot\n${listing}\nstderr:\n${err}")
endif()

run(0 golden.set sub/block.res block.bin)
file(READ ${GOLDEN}/sub/block.res expected OFFSET 20 HEX)
file(READ ${WORK}/block.bin got HEX)
if(NOT got STREQUAL expected OR NOT out STREQUAL "" OR NOT err STREQUAL "")
  message(FATAL_ERROR "show golden.set sub/block.res: not the payload of tests/golden/sub/block.res:\n${got}")
endif()

run(1 golden.set missing.res block.bin)
if(NOT err STREQUAL "show: golden.set: no resource missing.res\n")
  message(FATAL_ERROR "show golden.set missing.res: stderr\n${err}")
endif()
file(REMOVE_RECURSE ${WORK})
