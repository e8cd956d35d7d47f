# Builds a one-file project that warns under the suite's warning settings three ways: a
# plain configure and a Release build must compile it, a developer build
# (TESSARON_WERROR=ON, as the Makefile configures) must stop on the warning.
function(build_probe name expect)
  set(tree "${WORK_DIR}/${name}")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -S "${PROBE_DIR}" -B "${tree}" "-DSUITE_DIR=${SUITE_DIR}" ${ARGN}
                  RESULT_VARIABLE configured OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT configured EQUAL 0)
    message(FATAL_ERROR "${name}: configure failed\n${out}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" --build "${tree}"
                  RESULT_VARIABLE built OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT out MATCHES "unused-variable")
    message(FATAL_ERROR "${name}: the probe's warning was not reported\n${out}")
  endif()
  if(expect STREQUAL "stops" AND built EQUAL 0)
    message(FATAL_ERROR "${name}: a warning did not stop the build\n${out}")
  elseif(expect STREQUAL "compiles" AND NOT built EQUAL 0)
    message(FATAL_ERROR "${name}: a warning stopped the build\n${out}")
  endif()
  message(STATUS "${name}: the build ${expect} on a warning")
endfunction()

build_probe(plain compiles)
build_probe(release compiles -DCMAKE_BUILD_TYPE=Release)
build_probe(developer stops -DTESSARON_WERROR=ON)
