# One helper registers every test: one executable per test file, run through CTest.
#
#   morvil_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [UMOCKDEV] [ENV VAR=value ...])
#
# UMOCKDEV runs the test under umockdev's preload library, so that libusb reaches the emulated
# tokens that the test plugs into its test bed.
function(morvil_add_test)
    cmake_parse_arguments(T "UMOCKDEV;GTEST" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    # A fuzzing build runs only the fuzz targets: the tests are defined but neither built nor run.
    if(MORVIL_FUZZ)
        add_executable(${T_NAME} EXCLUDE_FROM_ALL ${T_SOURCES})
    else()
        add_executable(${T_NAME} ${T_SOURCES})
    endif()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
    if(T_GTEST)
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main)
    endif()
    set(cmd $<TARGET_FILE:${T_NAME}>)
    set(env ${T_ENV})
    if(T_UMOCKDEV)
        set(cmd umockdev-wrapper ${cmd})
        # The sanitizer runtime must come first; under the preload it cannot.
        list(APPEND env ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1)
        list(APPEND T_LABELS usb)
    endif()
    if(MORVIL_FUZZ)
        return()
    endif()
    add_test(NAME ${T_NAME} COMMAND ${cmd})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
endfunction()
