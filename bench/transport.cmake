if(TARGET nivexa_drivers)
  nivexa_add_bench(transport_bench
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/transport_bench.cpp
    LIBS nivexa_transport nivexa_drivers nivexa_sim)
endif()
