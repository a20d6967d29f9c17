# Shared helpers for tests, fuzz targets and benchmarks, so every area
# registers them the same way.

# kestrane_add_gtest(NAME SOURCES ... LIBS ... [LABELS ...])
function(kestrane_add_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
endfunction()

# kestrane_add_qtest(NAME SOURCES ... LIBS ... [LABELS ...])
# Qt Test programs run on the offscreen platform so no display is needed.
function(kestrane_add_qtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} Qt6::Test Qt6::Widgets)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(A_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${A_LABELS}")
  endif()
endfunction()

# kestrane_add_fuzzer(NAME SOURCES ... LIBS ... CORPUS dir)
# The sources define LLVMFuzzerTestOneInput. With KESTRANE_LIBFUZZER the
# target links libFuzzer; otherwise it links a replay driver and its corpus
# runs as an ordinary test, so every committed input stays a regression case.
function(kestrane_add_fuzzer name)
  cmake_parse_arguments(A "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  if(KESTRANE_LIBFUZZER)
    add_executable(${name} ${A_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  else()
    add_executable(${name} ${A_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  if(A_CORPUS)
    add_test(NAME ${name}_corpus COMMAND ${name} ${A_CORPUS})
    set_tests_properties(${name}_corpus PROPERTIES LABELS fuzz)
  endif()
endfunction()

# kestrane_add_bench(NAME SOURCES ... LIBS ... [ARGS ...])
# Benchmarks run once, briefly, under ctest so they cannot rot; run them
# by hand for real figures.
function(kestrane_add_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  if(NOT KESTRANE_BENCHMARKS)
    return()
  endif()
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark)
  add_test(NAME ${name}_smoke COMMAND ${name} --benchmark_min_time=0.001 ${A_ARGS})
  set_tests_properties(${name}_smoke PROPERTIES LABELS bench)
endfunction()
