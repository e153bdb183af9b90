# nivexasrc's frame rate against the callback preview's, where the element is built.
if(TARGET gstnivexa_element)
  nivexa_add_bench(gst_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/gst_bench.cpp
                   LIBS gstnivexa_element NivexaSdk_M7QX_TEC)
endif()
