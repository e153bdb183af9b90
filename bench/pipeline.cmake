# Each pipeline step on full sensor frames, next to its closest OpenCV equivalent in the same
# run. OpenCV is a benchmark-only dependency: without it the program measures our side alone.
find_package(OpenCV QUIET COMPONENTS core imgproc)
# The mask and dot filters (pipeline_mask.cpp) are steps of the same pipeline and run in the
# same program.
nivexa_add_bench(pipeline_bench
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/pipeline_bench.cpp ${CMAKE_CURRENT_SOURCE_DIR}/pipeline_mask.cpp
  LIBS nivexa_imaging Threads::Threads)
target_compile_definitions(pipeline_bench PRIVATE
                           NIVEXA_BENCH_HAVE_OPENCV=$<BOOL:${OpenCV_FOUND}>)
if(OpenCV_FOUND)
  target_compile_definitions(pipeline_bench PRIVATE NIVEXA_BENCH_OPENCV)
  target_include_directories(pipeline_bench SYSTEM PRIVATE ${OpenCV_INCLUDE_DIRS})
  target_link_libraries(pipeline_bench PRIVATE opencv_core opencv_imgproc)
  message(STATUS "pipeline_bench: OpenCV ${OpenCV_VERSION} peers included")
else()
  message(STATUS "pipeline_bench: OpenCV not found, peers left out (scripts/bench.sh installs it)")
endif()
