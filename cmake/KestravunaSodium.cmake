# libsodium, the one cryptographic library: the target Kestravuna::sodium. On Linux Debian's
# shared library, found through pkg-config.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET GLOBAL libsodium)
add_library(Kestravuna::sodium ALIAS PkgConfig::SODIUM)
