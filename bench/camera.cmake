nivexa_add_bench(camera_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/camera_rates.cpp ${CMAKE_CURRENT_SOURCE_DIR}/camera_bench.cpp
  LIBS nivexa_api nivexa_sim)
nivexa_add_bench(stream_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/camera_rates.cpp ${CMAKE_CURRENT_SOURCE_DIR}/stream_bench.cpp
  LIBS nivexa_api nivexa_sim)
