# Helpers shared by every folder.

# solvane_library(NAME DIR [QT] [DEPS ...]): a static library of every .cpp in DIR
# (not recursive). Files ending in "_qt.cpp" go only into Qt builds.
function(solvane_library name)
  cmake_parse_arguments(ARG "" "DIR" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(NOT SOLVANE_WITH_QT)
    list(FILTER srcs EXCLUDE REGEX "_qt\\.cpp$")
  endif()
  foreach(ex ${ARG_EXCLUDE})
    list(FILTER srcs EXCLUDE REGEX "/${ex}$")
  endforeach()
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    # A folder whose code has not been written yet.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# solvane_test(NAME DIR LABELS ... DEPS ...): one GoogleTest program of every .cpp in DIR.
function(solvane_test name)
  cmake_parse_arguments(ARG "" "DIR;MAIN" "DEPS;LABELS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  if(NOT ARG_MAIN)
    set(ARG_MAIN ${PROJECT_SOURCE_DIR}/tests/common/main_core.cpp)
  endif()
  add_executable(${name} ${srcs} ${ARG_MAIN})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
  # A folder's own label (e2e, else unit) names its area; sanitizer builds add their kind (asan,
  # tsan), which CI selects by. gtest_discover_tests splits a list-valued property into separate
  # words, so it sets one label and a file run after the discovered tests sets them all.
  if(ARG_LABELS)
    set(labels ${ARG_LABELS})
  else()
    set(labels unit)
  endif()
  if(SOLVANE_SANITIZE)
    list(PREPEND labels asan)
  elseif(SOLVANE_TSAN)
    list(PREPEND labels tsan)
  endif()
  list(GET labels 0 first)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${name}_TESTS
    PROPERTIES LABELS "${first}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  set(label_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(CONFIGURE OUTPUT ${label_file} CONTENT
    "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"@labels@\")\nendif()\n" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_file})
endfunction()
