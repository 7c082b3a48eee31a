# klv_library(NAME DIR DEPS...): a static library of every .cpp in DIR (not recursive),
# with the repository root on the include path, so headers are included as "common/x.h".
function(klv_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    # A library whose sources are still to come.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

# klv_test_suite(NAME DIR DEPS...): one GoogleTest executable of every *_test.cpp in DIR.
function(klv_test_suite name dir)
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*_test.cpp" "${dir}/*_fixture.cpp")
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE ${ARGN} klv_testing GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KLV_BINARY_DIR=${PROJECT_BINARY_DIR};KLV_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
