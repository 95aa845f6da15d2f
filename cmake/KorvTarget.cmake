# Shared warnings and helpers for the project's targets.
add_library(korv_options INTERFACE)
target_compile_options(korv_options INTERFACE -Wall -Wextra -Wno-unused-parameter)
target_compile_definitions(korv_options INTERFACE KORV_VERSION_TEXT="1.5.8.0")

# korv_library(NAME folder [DEPS ...]): a static library of FOLDER/src/*.cpp
# with FOLDER/include as its public include directory.
function(korv_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${name} PUBLIC korv_options ${ARG_DEPS})
  else()
    # A subsystem whose sources have not landed yet: headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE korv_options ${ARG_DEPS})
  endif()
endfunction()

# korv_test(NAME [DEPS ...]): a GoogleTest executable of every *.cpp in the
# current folder, registered with CTest test by test.
function(korv_test name)
  cmake_parse_arguments(ARG "" "" "DEPS;PROPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE korv_options GTest::gtest GTest::gmock GTest::gtest_main ${ARG_DEPS})
  target_compile_definitions(${name} PRIVATE KORV_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             KORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300 ${ARG_PROPS})
endfunction()
