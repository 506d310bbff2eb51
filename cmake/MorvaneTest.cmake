# morvane_unit_test(<name> <dir>): one GoogleTest binary for one test folder.
# Every *_test.cpp in the folder (and the shared fakes) joins it; CTest learns each case by name.
include(GoogleTest)

function(morvane_unit_test name dir)
  file(GLOB _sources CONFIGURE_DEPENDS ${dir}/*_test.cpp ${dir}/*_fakes.cpp ${PROJECT_SOURCE_DIR}/tests/unit/fakes/*.cpp)
  add_executable(${name} ${_sources})
  target_link_libraries(${name} PRIVATE morvane_core GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${dir} ${PROJECT_SOURCE_DIR}/tests/unit)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
endfunction()
