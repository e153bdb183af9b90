if(TARGET nivexa_drivers)
  nivexa_add_bench(transport_bench
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/transport_bench.cpp
    LIBS nivexa_transport nivexa_drivers nivexa_sim)
endif()
if(TARGET nivexa_drivers AND NOT WIN32)
  # Runs under scripts/emulated-usb-camera.sh (scripts/bench.sh does so).
  nivexa_add_bench(usb_bench
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/usb_bench.cpp
    LIBS nivexa_transport nivexa_drivers nivexa_sim)
endif()
