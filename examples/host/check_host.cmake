# Runs the reference host on MODULE and checks what it printed:
#   cmake -DHOST=... -DMODULE=... [-DEMULATOR=...] -P check_host.cmake
# A MODULE that does not exist must be reported with exit code 1. Otherwise
# the host must exit 0 having printed the session as valid JSON, 19 endpoints,
# memory counters joined in the right word order and every stream closed.
execute_process(COMMAND ${EMULATOR} ${HOST} ${MODULE}
                RESULT_VARIABLE exit OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REPLACE "\r" "" out "${out}")  # Windows text mode
string(REPLACE "\r" "" err "${err}")
function(fail message)
  message(FATAL_ERROR "${message}\nexit ${exit}\nstdout:\n${out}\nstderr:\n${err}")
endfunction()

if(NOT EXISTS ${MODULE})
  if(NOT exit EQUAL 1 OR NOT err MATCHES "host: cannot load [^\n]*no-such-module")
    fail("a module that does not load is not reported")
  endif()
  return()
endif()
if(NOT exit EQUAL 0)
  fail("the host failed")
endif()

# The answer: a status line, then one line of JSON.
if(NOT out MATCHES "\nGET /tav-champ-select/v1/session: status 200\n([^\n]*)\n")
  fail("no status 200 for the session")
endif()
set(session "${CMAKE_MATCH_1}")
string(JSON cell ERROR_VARIABLE error GET "${session}" localPlayerCellId)
string(JSON name ERROR_VARIABLE nameError GET "${session}" myTeam 0 displayName)
if(error OR nameError OR NOT cell EQUAL 0 OR NOT name STREQUAL [[Ana "the Bold"]])
  fail("the session is not the canned one as JSON: ${error} ${nameError}")
endif()

string(REGEX MATCHALL "\n  (GET|POST|PATCH|PUT|DELETE) +/tav-champ-select/v1/[^\n]*" endpoints
       "${out}")
list(LENGTH endpoints count)
if(NOT out MATCHES "\nendpoints: 19\n" OR NOT count EQUAL 19)
  fail("not the 19 endpoints with method and path (${count} listed)")
endif()

# A swapped word order would put the count at 2^32 or beyond.
if(NOT out MATCHES "\nmemory: bytes allocated ([0-9]+)\n" OR CMAKE_MATCH_1 EQUAL 0
   OR CMAKE_MATCH_1 GREATER_EQUAL 4294967296)
  fail("no plausible count of bytes allocated")
endif()

if(NOT out MATCHES "\nstreams: ([0-9]+) opened, ([0-9]+) closed"
   OR NOT CMAKE_MATCH_1 EQUAL CMAKE_MATCH_2 OR CMAKE_MATCH_1 LESS 2)
  fail("the canned answers were not all read and closed")
endif()
