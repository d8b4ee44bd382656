# Helpers that keep every folder's CMakeLists.txt to a line or two.

# tolvek_add_module(<name> [DEPS <module>...])
#   One static library per subsystem folder of src/, from every .cpp below it.
#   Modules link only the modules they name, so the layering stays visible.
function(tolvek_add_module name)
  cmake_parse_arguments(M "" "" "DEPS;LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_library(tolvek_${name} STATIC ${sources})
  target_include_directories(tolvek_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  list(TRANSFORM M_DEPS PREPEND tolvek_)
  target_link_libraries(tolvek_${name} PUBLIC ${M_DEPS} ${M_LIBS} Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY TOLVEK_CORE_MODULES tolvek_${name})
endfunction()

# tolvek_add_test_suite(<name> [DEPS <module>...] [LABELS <label>...])
#   One GoogleTest executable from every .cpp of the folder; each test case is a CTest test
#   labelled with the suite name (so "ctest -L kernel" runs one subsystem).
function(tolvek_add_test_suite name)
  cmake_parse_arguments(T "" "" "DEPS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  set(target test_${name})
  add_executable(${target} ${sources})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/tests")
  list(TRANSFORM T_DEPS PREPEND tolvek_)
  target_link_libraries(${target} PRIVATE ${T_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${target} PRIVATE
    TOLVEK_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    TOLVEK_BIN_DIR="${TOLVEK_BIN_DIR}")
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST)
  # LABELS given to gtest_discover_tests lose their list form; set them once the tests are known.
  set(labels "${name};${T_LABELS}")
  file(WRITE "${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake"
    "foreach(test IN LISTS ${target}_TESTS)\n  set_tests_properties(\"\${test}\" PROPERTIES LABELS \"${labels}\")\nendforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${CMAKE_CURRENT_BINARY_DIR}/${target}_labels.cmake")
endfunction()

# tolvek_add_tool(<name> [DEPS <module>...])
#   A command-line program from every .cpp of its folder.
function(tolvek_add_tool name)
  cmake_parse_arguments(P "" "" "DEPS;LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  add_executable(${name} ${sources})
  list(TRANSFORM P_DEPS PREPEND tolvek_)
  target_link_libraries(${name} PRIVATE ${P_DEPS} ${P_LIBS})
endfunction()
