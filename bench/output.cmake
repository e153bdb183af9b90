nivexa_add_bench(output_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/output_avi_bench.cpp
  LIBS nivexa_output)
