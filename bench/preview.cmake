nivexa_add_bench(preview_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/preview_bench.cpp
  LIBS nivexa_output)
