# Warnings are errors everywhere in the suite.
add_compile_options(-Wall -Wextra -Wpedantic -Werror -Wshadow=local -Wformat=2 -Wvla)
# CUPS 2.4 marks the whole PPD API deprecated, yet the queue's PPD is the interface a
# driver and its dialog share; the deprecation notes say nothing we can act on.
add_compile_options(-Wno-deprecated-declarations)

if(TESSARON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
