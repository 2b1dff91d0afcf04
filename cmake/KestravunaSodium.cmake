# libsodium, the one cryptographic library: the target Kestravuna::sodium. On Linux Debian's
# shared library, found through pkg-config. For Windows the static library that
# scripts/install-mingw-libsodium.sh builds from Debian's source of the same version, so the
# programs need no DLL beside them.
if(WIN32)
  set(KESTRAVUNA_MINGW_SODIUM /opt/kestravuna/mingw-libsodium CACHE PATH
    "Prefix of libsodium built for Windows (scripts/install-mingw-libsodium.sh)")
  set(_sodium_library ${KESTRAVUNA_MINGW_SODIUM}/lib/libsodium.a)
  set(_sodium_version_file ${KESTRAVUNA_MINGW_SODIUM}/debian-source-version)
  if(NOT EXISTS ${_sodium_library} OR NOT EXISTS ${_sodium_version_file})
    message(FATAL_ERROR "No libsodium for Windows in ${KESTRAVUNA_MINGW_SODIUM}: \
run scripts/install-deps.sh windows, which builds it from Debian's source.")
  endif()
  file(READ ${_sodium_version_file} _sodium_version)
  string(STRIP "${_sodium_version}" _sodium_version)
  message(STATUS "libsodium for Windows: Debian's ${_sodium_version}, static, from ${KESTRAVUNA_MINGW_SODIUM}")
  add_library(Kestravuna::sodium STATIC IMPORTED GLOBAL)
  set_target_properties(Kestravuna::sodium PROPERTIES
    IMPORTED_LOCATION ${_sodium_library}
    INTERFACE_INCLUDE_DIRECTORIES ${KESTRAVUNA_MINGW_SODIUM}/include
    # Without it the headers declare every function as imported from a DLL.
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
    # randombytes asks the system's generator in advapi32 (RtlGenRandom).
    INTERFACE_LINK_LIBRARIES advapi32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET GLOBAL libsodium)
  add_library(Kestravuna::sodium ALIAS PkgConfig::SODIUM)
endif()
