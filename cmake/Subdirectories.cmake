# Adds every direct sub-folder of DIR that has a CMakeLists.txt, in name order, so a new
# module joins the build without editing its parent.
function(tessaron_add_subdirectories dir)
  file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}/${dir}" "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/${child}/CMakeLists.txt")
      add_subdirectory("${dir}/${child}")
    endif()
  endforeach()
endfunction()

function(tessaron_add_optional_subdirectory dir)
  if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt")
    add_subdirectory("${dir}")
  endif()
endfunction()

# A GoogleTest program from SOURCES, linked with LIBS, registered with CTest.
# Optional: LABELS, ENVIRONMENT (list of VAR=value), TIMEOUT, RUN_SERIAL, and LOCKS (CTest
# resource locks; tests that bind the fixed minilab ports take "loopback-ports").
function(tessaron_add_gtest name)
  cmake_parse_arguments(T "RUN_SERIAL" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT;LOCKS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} tessaron_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_ENVIRONMENT)
    list(APPEND props ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(T_LOCKS)
    list(APPEND props RESOURCE_LOCK "${T_LOCKS}")
  endif()
  if(T_RUN_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()

# A test or benchmark folder needs the targets it exercises. One that is missing stops the
# configure instead of dropping the folder without a word, so `make check` cannot shrink
# unnoticed. (The dialog's test folders are left out, with a message, only when the dialog
# itself is switched off.)
macro(tessaron_tests_need)
  foreach(_tessaron_target ${ARGN})
    if(NOT TARGET ${_tessaron_target})
      file(RELATIVE_PATH _tessaron_folder "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
      message(FATAL_ERROR "${_tessaron_folder} needs ${_tessaron_target}, which this tree does not build. "
                          "Run 'make deps', or configure with -DTESSARON_BUILD_TESTS=OFF "
                          "(-DTESSARON_BUILD_BENCH=OFF for the benchmarks) to build without them.")
    endif()
  endforeach()
endmacro()

# A static library of every .cpp in the calling folder, whose headers its users include by name.
function(tessaron_add_folder_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()
