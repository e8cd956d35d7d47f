# Fuzz builds (make fuzz, tree build-fuzz/, clang): every library is built with the fuzzer's
# coverage instrumentation and both sanitizers, and only the fuzz targets are linked.
option(TESSARON_FUZZ "Build the libFuzzer targets (needs clang) instead of the programs' tests" OFF)
if(TESSARON_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TESSARON_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer -g)
  add_link_options(-fsanitize=address,undefined)
endif()
if(TESSARON_FUZZ)
  # The suite's warning set names gcc's -Wshadow=local, which clang does not know. Clang refuses
  # the image code's 8-lane vector helpers where AVX is off; fuzz targets only ever run on the
  # machine that built them.
  add_compile_options(-Wno-unknown-warning-option -march=native)
endif()
