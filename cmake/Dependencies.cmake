# Third-party packages, all from Debian 12 (scripts/install-deps installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json 3.11 REQUIRED)
find_package(spdlog REQUIRED)
find_package(fmt REQUIRED)
find_package(GTest REQUIRED)
if(VORN_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()

pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo)
pkg_check_modules(PANGOFT2 REQUIRED IMPORTED_TARGET pangoft2)     # pinning the font map's fontconfig set-up
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)          # the window loop's X error handler on X11 sessions
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
pkg_check_modules(PUGIXML REQUIRED IMPORTED_TARGET pugixml)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)  # sd-bus: D-Bus calls that carry secrets or wait for signals
pkg_check_modules(LIBSECRET REQUIRED IMPORTED_TARGET libsecret-1)  # the vault key in the desktop Secret Service
find_package(OpenSSL REQUIRED)
# glib (under pango) and SDL2 ask for -pthread / -D_REENTRANT when compiling. That define would make every source
# that uses them miss the shared precompiled header (-Winvalid-pch); threads are linked through Threads::Threads
# anyway, so the compile-side flag is dropped.
foreach(pkg PANGOCAIRO PANGOFT2 FONTCONFIG SDL2 LIBSECRET)
  get_target_property(pkg_options PkgConfig::${pkg} INTERFACE_COMPILE_OPTIONS)
  if(pkg_options)
    list(REMOVE_ITEM pkg_options -pthread -D_REENTRANT)
    set_target_properties(PkgConfig::${pkg} PROPERTIES INTERFACE_COMPILE_OPTIONS "${pkg_options}")
  endif()
endforeach()
find_library(QRCODEGENCPP_LIBRARY NAMES qrcodegencpp REQUIRED)
find_path(QRCODEGENCPP_INCLUDE_DIR NAMES qrcodegen.hpp PATH_SUFFIXES qrcodegen REQUIRED)
add_library(vorn_qrcodegen INTERFACE)
target_link_libraries(vorn_qrcodegen INTERFACE ${QRCODEGENCPP_LIBRARY})
target_include_directories(vorn_qrcodegen SYSTEM INTERFACE ${QRCODEGENCPP_INCLUDE_DIR})
find_path(ASIO_INCLUDE_DIR NAMES asio.hpp REQUIRED)
add_library(vorn_asio INTERFACE)
target_include_directories(vorn_asio SYSTEM INTERFACE ${ASIO_INCLUDE_DIR})
target_compile_definitions(vorn_asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
target_link_libraries(vorn_asio INTERFACE Threads::Threads OpenSSL::SSL OpenSSL::Crypto)
find_package(Cups)
