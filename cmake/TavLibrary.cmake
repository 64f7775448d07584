# tav_library(<name> SOURCES ... DEPS ...): one static library per subsystem
# folder, with the project's options and explicit dependencies, so that an
# include of a higher layer fails to build instead of passing review.
function(tav_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE tav_options)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src
                                            ${PROJECT_SOURCE_DIR}/include)
endfunction()

# tav_test(<name> SOURCES ... DEPS ... [ENVIRONMENT VAR=value ...]): a
# GoogleTest program registered with ctest through discovery (run under the
# emulator when cross-compiling), its tests run with the given environment.
function(tav_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tav_options GTest::gtest_main GTest::gmock)
  # Helpers every test may share, such as support/value_dump.h.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_precompile_headers(${name} REUSE_FROM tav_test_pch)
  # With the standard headers coming through the precompiled header, GCC 12
  # reports its known false out-of-bounds copies in std::string
  # concatenations (std::string(300, '-') + "#M") of the tests.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -Wno-array-bounds -Wno-stringop-overflow)
  endif()
  set(properties TIMEOUT 300)
  if(ARG_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${properties})
endfunction()
