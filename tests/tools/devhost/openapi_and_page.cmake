# The OpenAPI and AsyncAPI generators and the session page of the development host.

# The generator over a hand-built table.
tav_test(tav_devhost_openapi_tests
  SOURCES openapi_document_test.cpp
  DEPS tav_devhost_openapi)
target_include_directories(tav_devhost_openapi_tests SYSTEM PRIVATE ${RAPIDJSON_INCLUDE_DIR})

# The node-driven tests use the package in node/, installed by scripts/install-deps.
find_program(TAV_NODE node)
set(tav_node_dir ${CMAKE_CURRENT_SOURCE_DIR}/node)

# The generated OpenAPI document of the real module passes an OpenAPI 3.1
# validator, its AsyncAPI document the AsyncAPI parser: the dump runs on the
# target (under the emulator at 32 bits), the validators under node on the
# build machine.
add_executable(tav-devhost-openapi-dump openapi_dump.cpp)
target_link_libraries(tav-devhost-openapi-dump PRIVATE tav_devhost_openapi tav_test_support
                                                       tav_options)
target_compile_definitions(tav-devhost-openapi-dump PRIVATE
  TAV_PLUGIN_MODULE_PATH="$<TARGET_FILE:zub-be-tav-champ-select>")
add_dependencies(tav-devhost-openapi-dump zub-be-tav-champ-select)
# "support/module_host.h": the tool has a module_host.h of its own.
target_include_directories(tav-devhost-openapi-dump PRIVATE ${PROJECT_SOURCE_DIR}/tests)

set(openapi_json ${CMAKE_CURRENT_BINARY_DIR}/openapi.json)
set(asyncapi_json ${CMAKE_CURRENT_BINARY_DIR}/asyncapi.json)
add_test(NAME DevhostOpenApi.Generate
  COMMAND tav-devhost-openapi-dump ${openapi_json} ${asyncapi_json})
set_tests_properties(DevhostOpenApi.Generate PROPERTIES FIXTURES_SETUP devhost_openapi)
add_test(NAME DevhostOpenApi.PassesTheValidator
  COMMAND ${TAV_NODE} ${tav_node_dir}/document_check.mjs openapi ${openapi_json})
add_test(NAME DevhostAsyncApi.PassesTheParser
  COMMAND ${TAV_NODE} ${tav_node_dir}/document_check.mjs asyncapi ${asyncapi_json})
set_tests_properties(DevhostOpenApi.PassesTheValidator DevhostAsyncApi.PassesTheParser PROPERTIES
  FIXTURES_REQUIRED devhost_openapi TIMEOUT 120)

# Every line of the golden traces follows the trace schema of docs/, which
# refuses planted faults: a format change shows in the schema too.
file(GLOB tav_schema_traces CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/tools/devhost/traces/*.jsonl)
add_test(NAME DevhostTrace.LinesFollowTheSchema
  COMMAND ${TAV_NODE} ${tav_node_dir}/document_check.mjs
          trace ${PROJECT_SOURCE_DIR}/docs/devhost-trace.schema.json ${tav_schema_traces})

# The shipped scenarios follow the scenario schema of docs/, read from YAML by
# tav-value (run natively: the check does not depend on the word size).
if(NOT CMAKE_CROSSCOMPILING)
  file(GLOB tav_shipped_scenarios CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tools/devhost/scenarios/*.yaml)
  add_test(NAME DevhostScenario.FilesFollowTheSchema
    COMMAND ${TAV_NODE} ${tav_node_dir}/document_check.mjs
            scenario ${PROJECT_SOURCE_DIR}/docs/scenario.schema.json
            $<TARGET_FILE:tav-value> ${tav_shipped_scenarios})
endif()

# The session page in headless Chromium against the real tool and its demo
# scenario, on the native 64-bit build only; the screenshot stays in the
# build directory.
if(TARGET tav-devhost AND NOT CMAKE_CROSSCOMPILING AND CMAKE_SIZEOF_VOID_P EQUAL 8
   AND NOT CMAKE_CXX_FLAGS MATCHES "sanitize")
  find_program(TAV_CHROMIUM chromium)
  add_test(NAME DevhostPage.ShowsTheSessionLive
    COMMAND ${TAV_NODE} ${tav_node_dir}/page_test.mjs
            --tool $<TARGET_FILE:tav-devhost>
            --scenario ${PROJECT_SOURCE_DIR}/tools/devhost/scenarios/demo.yaml
            --screenshot ${CMAKE_BINARY_DIR}/devhost-page.png
            --module $<TARGET_FILE:zub-be-tav-champ-select>
            --chromium ${TAV_CHROMIUM})
  add_test(NAME DevhostPage.StepsTheFlowWithItsClock
    COMMAND ${TAV_NODE} ${tav_node_dir}/flow_page_test.mjs
            --tool $<TARGET_FILE:tav-devhost>
            --scenario ${PROJECT_SOURCE_DIR}/tools/devhost/scenarios/flow.yaml
            --screenshot ${CMAKE_BINARY_DIR}/devhost-flow-page.png --chromium ${TAV_CHROMIUM})
  # Pages of another local origin: refused without --allow-origin, served
  # with it (never /_dev/).
  add_test(NAME DevhostPage.ForeignOriginsNeedAllowing
    COMMAND ${TAV_NODE} ${tav_node_dir}/cross_origin_test.mjs
            --tool $<TARGET_FILE:tav-devhost>
            --scenario ${PROJECT_SOURCE_DIR}/tools/devhost/scenarios/demo.yaml
            --chromium ${TAV_CHROMIUM})
  # Chromium starts slowly on a loaded machine.
  set_tests_properties(DevhostPage.ShowsTheSessionLive DevhostPage.ForeignOriginsNeedAllowing
                       DevhostPage.StepsTheFlowWithItsClock
    PROPERTIES TIMEOUT 300)
endif()
