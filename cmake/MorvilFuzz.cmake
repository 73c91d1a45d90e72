# libFuzzer targets, built only in a fuzzing build (-DMORVIL_FUZZ=ON with clang, see
# scripts/test.sh). There every other test is skipped and the whole tree is instrumented.
#
#   morvil_add_fuzzer(NAME name SOURCES a.cpp ... LIBS lib ... [RUNS n] [MAX_LEN n])
#
# Each target is also a CTest test labelled `fuzz` that runs it for RUNS executions (a short run
# for CI); run the executable by hand for longer runs. The target `fuzzers` builds them all and
# only what they link.
if(MORVIL_FUZZ)
    add_custom_target(fuzzers)
endif()
function(morvil_add_fuzzer)
    if(NOT MORVIL_FUZZ)
        return()
    endif()
    cmake_parse_arguments(F "" "NAME;RUNS;MAX_LEN" "SOURCES;LIBS" ${ARGN})
    add_executable(${F_NAME} ${F_SOURCES})
    add_dependencies(fuzzers ${F_NAME})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    if(NOT F_RUNS)
        set(F_RUNS 200000)
    endif()
    set(args -runs=${F_RUNS} -seed=1)
    if(F_MAX_LEN)
        list(APPEND args -max_len=${F_MAX_LEN})
    endif()
    add_test(NAME ${F_NAME} COMMAND ${F_NAME} ${args})
    set_tests_properties(${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 600
        ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
endfunction()
