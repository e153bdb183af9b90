# The libFuzzer programs of the loaders of files from outside (registry text and store file, mask
# header and whole mask file, configuration file) and of the exports. Each is built with
# AddressSanitizer and UndefinedBehaviorSanitizer, and only on request: `cmake --build <dir>
# --target nivexa_fuzzers` in a tree configured with Clang and -DNIVEXA_BUILD_FUZZERS=ON
# (scripts/test.sh runs them, bounded in time).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "NIVEXA_BUILD_FUZZERS needs Clang (libFuzzer): -DCMAKE_CXX_COMPILER=clang++")
endif()

add_custom_target(nivexa_fuzzers)

# nivexa_add_fuzzer(<name> SOURCES <files...>)
function(nivexa_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  add_executable(${name} EXCLUDE_FROM_ALL ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests
                                             ${PROJECT_SOURCE_DIR}/include)
  target_compile_options(${name} PRIVATE -O1 -g -fsanitize=fuzzer,address,undefined
                                         -fno-sanitize-recover=all)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  add_dependencies(nivexa_fuzzers ${name})
endfunction()

nivexa_add_fuzzer(registry_text_fuzz
  SOURCES tests/platform/RegistryFuzzMain.cpp tests/platform/RegistryFuzzTarget.cpp
          src/platform/RegistryText.cpp)
nivexa_add_fuzzer(mask_header_fuzz
  SOURCES tests/imaging/mask/MaskHeaderFuzzMain.cpp src/imaging/mask/MaskFile.cpp)
nivexa_add_fuzzer(mask_file_fuzz SOURCES tests/imaging/mask/MaskFileFuzzMain.cpp)
target_link_libraries(mask_file_fuzz PRIVATE nivexa_imaging nivexa_platform)
nivexa_add_fuzzer(registry_file_fuzz SOURCES tests/platform/RegistryFileFuzzMain.cpp)
target_link_libraries(registry_file_fuzz PRIVATE nivexa_platform)
nivexa_add_fuzzer(config_file_fuzz
  SOURCES tests/camera/ConfigFileFuzzMain.cpp src/camera/ConfigFile.cpp)
target_link_libraries(config_file_fuzz PRIVATE nivexa_platform)

# The exports driven as an application would, on virtual cameras; the whole library of this tree
# is instrumented (see the top-level CMakeLists.txt).
nivexa_add_fuzzer(api_calls_fuzz SOURCES tests/api/ApiCallsFuzzMain.cpp)
target_link_libraries(api_calls_fuzz PRIVATE nivexa_api nivexa_sim)
