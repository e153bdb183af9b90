# Until the pipeline benchmark program exists this builds the mask benchmarks on their own.
find_package(OpenCV QUIET COMPONENTS core imgproc)
nivexa_add_bench(mask_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/pipeline_mask.cpp
                 LIBS nivexa_imaging benchmark::benchmark_main)
target_compile_definitions(mask_bench PRIVATE NIVEXA_BENCH_HAVE_OPENCV=$<BOOL:${OpenCV_FOUND}>)
if(OpenCV_FOUND)
  target_link_libraries(mask_bench PRIVATE ${OpenCV_LIBS})
  target_include_directories(mask_bench SYSTEM PRIVATE ${OpenCV_INCLUDE_DIRS})
endif()
