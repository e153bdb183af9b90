# Runs `nivexasrc num-buffers=FRAMES ! FORMAT ! fakesink` with gst-launch-1.0 and checks that
# exactly FRAMES buffers of FRAME_BYTES bytes reached the sink, then end of stream.
execute_process(
  COMMAND ${LAUNCH} -v nivexasrc num-buffers=${FRAMES} ! video/x-raw,format=${FORMAT}
          ! fakesink silent=false sync=false
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 100)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gst-launch-1.0 failed (${result}):\n${output}\n${errors}")
endif()
string(REGEX MATCHALL "chain   \\*+ \\(fakesink0:sink\\) \\([0-9]+ bytes" chains "${output}")
string(REGEX MATCHALL "chain   \\*+ \\(fakesink0:sink\\) \\(${FRAME_BYTES} bytes" whole "${output}")
list(LENGTH chains chain_count)
list(LENGTH whole whole_count)
if(NOT chain_count EQUAL FRAMES OR NOT whole_count EQUAL FRAMES)
  message(FATAL_ERROR "${chain_count} buffers, ${whole_count} of ${FRAME_BYTES} bytes; "
                      "expected ${FRAMES}:\n${output}")
endif()
if(NOT output MATCHES "Got EOS from element")
  message(FATAL_ERROR "no end of stream:\n${output}")
endif()
message(STATUS "${FRAMES} frames of ${FRAME_BYTES} bytes in ${FORMAT}")
