nivexa_add_bench(latency_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/latency_bench.cpp
  LIBS nivexa_api nivexa_sim)
