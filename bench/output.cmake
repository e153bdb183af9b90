find_package(JPEG REQUIRED)
find_package(PNG REQUIRED)
find_package(TIFF REQUIRED)
nivexa_add_bench(output_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/output_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/output_avi_bench.cpp
  LIBS nivexa_output JPEG::JPEG PNG::PNG TIFF::TIFF)
