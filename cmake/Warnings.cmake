# Warnings stop the build only where a developer will act on them: `make`, `make check` and CI
# turn this on. A plain configure, a Release build or a distribution's package build leaves it
# off, so a packager's flags or a newer compiler's new warning cannot stop a user's build.
option(TESSARON_WERROR "Treat compiler warnings as errors (developer builds)" OFF)
set(tessaron_werror "")
if(TESSARON_WERROR)
  set(tessaron_werror -Werror)
endif()
add_compile_options(-Wall -Wextra -Wpedantic ${tessaron_werror} -Wshadow=local -Wformat=2 -Wvla)
# CUPS 2.4 marks the whole PPD API deprecated, yet the queue's PPD is the interface a
# driver and its dialog share; the deprecation notes say nothing we can act on.
add_compile_options(-Wno-deprecated-declarations)

if(TESSARON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
