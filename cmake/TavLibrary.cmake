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

# tav_platform_sources(<out> <service>...): the file of each service for
# this platform, win32/NAME.cpp or posix/NAME.cpp.
function(tav_platform_sources out)
  if(WIN32)
    list(TRANSFORM ARGN PREPEND win32/ OUTPUT_VARIABLE sources)
  else()
    list(TRANSFORM ARGN PREPEND posix/ OUTPUT_VARIABLE sources)
  endif()
  list(TRANSFORM sources APPEND .cpp)
  set(${out} ${sources} PARENT_SCOPE)
endfunction()

# tav_test(<name> [THREADS] SOURCES ... DEPS ... [ENVIRONMENT VAR=value ...]):
# a GoogleTest program registered with ctest through discovery (run under the
# emulator when cross-compiling), its tests run with the given environment.
# THREADS marks a program whose tests start threads: its tests get the label
# "threads" and it joins tav_thread_tests, the target `make tsan-threads`
# builds before it runs that label under ThreadSanitizer.
function(tav_test name)
  cmake_parse_arguments(ARG "THREADS" "" "SOURCES;DEPS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} tav_options GTest::gtest_main GTest::gmock)
  # Helpers every test may share, such as support/value_dump.h.
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_precompile_headers(${name} REUSE_FROM tav_test_pch)
  # With the standard headers coming through the precompiled header, GCC 12
  # reports its known false out-of-bounds copies in std::string
  # concatenations (std::string(300, '-') + "#M") of the tests: it follows the
  # short-string branch of the moved string's constructor that a long string
  # never takes. Which of the three names it gives depends on the inlining,
  # so ThreadSanitizer's instrumentation turns it into -Wstringop-overread.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -Wno-array-bounds -Wno-stringop-overflow
                                           -Wno-stringop-overread)
  endif()
  # A sanitizer's allocator and shadow memory make heap, resident-size and
  # latency figures say nothing about the code: tests that read them check
  # TAV_SANITIZED.
  if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
    target_compile_definitions(${name} PRIVATE TAV_SANITIZED=1)
  endif()
  set(properties TIMEOUT 300)
  if(ARG_ENVIRONMENT)
    list(APPEND properties ENVIRONMENT "${ARG_ENVIRONMENT}")
  endif()
  if(ARG_THREADS)
    list(APPEND properties LABELS threads)
    if(NOT TARGET tav_thread_tests)
      add_custom_target(tav_thread_tests)
    endif()
    add_dependencies(tav_thread_tests ${name})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES ${properties})
endfunction()
