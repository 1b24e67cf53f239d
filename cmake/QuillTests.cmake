find_package(GTest REQUIRED)
include(GoogleTest)

# One test executable per *_test.cpp of the calling tests/ folder, named tests_<folder>_<file>.
# The shared main creates a QApplication on the offscreen platform, so widget tests and plain
# tests look the same. Extra *.cpp files of the folder (helpers) are linked into each.
function(quill_add_tests name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  file(GLOB helpers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER helpers EXCLUDE REGEX "_test\\.cpp$")
  foreach(test_source ${tests})
    get_filename_component(stem ${test_source} NAME_WE)
    string(REGEX REPLACE "_test$" "" stem ${stem})
    set(target tests_${name}_${stem})
    add_executable(${target} ${test_source} ${helpers})
    target_link_libraries(${target} PRIVATE ${ARG_LIBS} test_support GTest::gtest GTest::gmock)
    quill_warnings(${target})
    gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  endforeach()
endfunction()
