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
  # One label per test: gtest_discover_tests passes a list-valued property on as separate words.
  # A folder's own label (e2e) stands for the normal build; sanitizer builds label by their kind.
  if(SOLVANE_SANITIZE)
    set(labels asan)
  elseif(SOLVANE_TSAN)
    set(labels tsan)
  elseif(ARG_LABELS)
    set(labels ${ARG_LABELS})
  else()
    set(labels unit)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
