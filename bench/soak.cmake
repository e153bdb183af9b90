# Ten minutes by default, so scripts/bench.sh leaves it out; run it by hand (see README).
nivexa_add_bench(soak_bench SOURCES
                 ${CMAKE_CURRENT_SOURCE_DIR}/soak_bench.cpp LIBS nivexa_api nivexa_sim)
