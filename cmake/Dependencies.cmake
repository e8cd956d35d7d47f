# Every library the suite uses, as imported targets named deps::<name>.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
pkg_check_modules(TIFF REQUIRED IMPORTED_TARGET libtiff-4)
pkg_check_modules(JPEG REQUIRED IMPORTED_TARGET libjpeg)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)
find_package(nlohmann_json 3 REQUIRED)

# libcups has no pkg-config file on Debian 12; cups-config answers instead.
find_library(CUPS_LIBRARY cups REQUIRED)
find_library(CUPSIMAGE_LIBRARY cupsimage REQUIRED)
find_path(CUPS_INCLUDE_DIR cups/cups.h REQUIRED)

add_library(deps::cups INTERFACE IMPORTED)
target_link_libraries(deps::cups INTERFACE ${CUPS_LIBRARY})
target_include_directories(deps::cups INTERFACE ${CUPS_INCLUDE_DIR})
add_library(deps::cupsimage INTERFACE IMPORTED)
target_link_libraries(deps::cupsimage INTERFACE ${CUPSIMAGE_LIBRARY} deps::cups)

add_library(deps::icu ALIAS PkgConfig::ICU)
add_library(deps::plist ALIAS PkgConfig::PLIST)
add_library(deps::systemd ALIAS PkgConfig::SYSTEMD)
add_library(deps::tiff ALIAS PkgConfig::TIFF)
add_library(deps::jpeg ALIAS PkgConfig::JPEG)
add_library(deps::png ALIAS PkgConfig::PNG)
add_library(deps::json ALIAS nlohmann_json::nlohmann_json)

if(TESSARON_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(TESSARON_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
