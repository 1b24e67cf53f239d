find_package(GTest REQUIRED)
include(GoogleTest)

# One test executable per tests/ sub-folder, from every *_test.cpp in it. The shared main creates
# a QApplication on the offscreen platform, so widget tests and plain tests look the same.
function(quill_add_tests name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
       ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(tests_${name} ${sources})
  target_link_libraries(tests_${name} PRIVATE ${ARG_LIBS} test_support GTest::gtest GTest::gmock)
  quill_warnings(tests_${name})
  gtest_discover_tests(tests_${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUILL_SOURCE_DIR=${CMAKE_SOURCE_DIR}"
                                  TIMEOUT 300)
endfunction()
