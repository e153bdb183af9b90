nivexa_add_bench(sim_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/sim_bench.cpp LIBS nivexa_sim)
