# One static library per framework or subsystem folder, one test program per test folder.
# Sources are globbed so that adding a file needs no edit here; a folder with no sources yet
# makes no target, so that targets can be declared before their code exists.

# bn_library(<name> DIR <folder> [EXCLUDE <folders>...] [DEPS <targets/libs>...]
#            [PRIVATE_DEPS ...])
function(bn_library name)
  cmake_parse_arguments(A "" "DIR" "EXCLUDE;DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/${A_DIR}/*.cpp ${PROJECT_SOURCE_DIR}/${A_DIR}/*.c)
  foreach(ex ${A_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "^${PROJECT_SOURCE_DIR}/${ex}/")
  endforeach()
  if(NOT srcs)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/platform ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
endfunction()

# bn_test(<name> DIR <folder> [EXCLUDE <folders>...] DEPS <targets>...): every .cpp of the
# folder in one gtest program.
function(bn_test name)
  cmake_parse_arguments(A "" "DIR" "EXCLUDE;DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${A_DIR}/*.cpp)
  foreach(ex ${A_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "^${PROJECT_SOURCE_DIR}/${ex}/")
  endforeach()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${A_DEPS} GTest::gtest GTest::gmock bn_test_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT
                       "BN_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp/${name}")
endfunction()

# bn_bench(<name> SOURCES <files>... DEPS <targets>...)
function(bn_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()
