# selva_add_gtest(NAME folder [LIBS ...]): one GoogleTest program for every test folder of the core.
function(selva_add_gtest name dir)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    if(NOT _src)
        return()
    endif()
    add_executable(${name} ${_src} ${CMAKE_CURRENT_SOURCE_DIR}/support/TestSupport.cpp)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE selva_core GTest::gtest_main ${ARG_LIBS} selva_warnings)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ENVIRONMENT "${SELVA_TEST_ENV}")
endfunction()

# selva_add_qtest(file.cpp): one Qt Test program for a window test file, run offscreen.
function(selva_add_qtest src)
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${name} PRIVATE selva_ui Qt6::Test selva_warnings)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
    # The same program again under a Russian locale, where the decimal separator is a comma.
    add_test(NAME ${name}_ru COMMAND ${name})
    set_tests_properties(${name}_ru PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=ru_RU.UTF-8;LANG=ru_RU.UTF-8" TIMEOUT 300)
endfunction()
