# Runs a tool (through the emulator when cross-compiling) and checks its exit
# code, standard output and standard error.
#   -DTOOL=... [-DEMULATOR=...] -DARGS="a;b" -DEXPECT_EXIT=n
#   [-DEXPECT_STDOUT=text] [-DEXPECT_STDERR=text]   (exact, after trimming)
separate_arguments(args NATIVE_COMMAND "${ARGS}")
execute_process(COMMAND ${EMULATOR} ${TOOL} ${args}
                RESULT_VARIABLE exit OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(STRIP "${out}" out)
string(STRIP "${err}" err)
if(NOT exit EQUAL EXPECT_EXIT)
  message(FATAL_ERROR "exit ${exit}, expected ${EXPECT_EXIT}\nstdout: ${out}\nstderr: ${err}")
endif()
if(DEFINED EXPECT_STDOUT AND NOT out STREQUAL EXPECT_STDOUT)
  message(FATAL_ERROR "stdout:\n${out}\nexpected:\n${EXPECT_STDOUT}")
endif()
if(DEFINED EXPECT_STDERR AND NOT err STREQUAL EXPECT_STDERR)
  message(FATAL_ERROR "stderr:\n${err}\nexpected:\n${EXPECT_STDERR}")
endif()
