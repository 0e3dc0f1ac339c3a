# Imported targets for the third-party libraries that tools/deps builds into a
# cache outside the checkout.
#
#   norvik::curl          libcurl + nghttp2 + BoringSSL + zlib, static
#   norvik::minizip       zlib's contrib/minizip (+ zlib); #include <minizip/unzip.h>
#   norvik::spdlog        header-only spdlog with header-only fmt
#   norvik::fmt           header-only fmt
#   norvik::tomlplusplus  header-only toml++
#   norvik::gtest, norvik::gtest_main, norvik::gmock, norvik::gmock_main
#
# Usage: tools/deps TRIPLE
#        cmake -DNORVIK_DEPS_PREFIX=$(tools/deps --prefix TRIPLE) ...
include_guard(GLOBAL)

set(NORVIK_DEPS_PREFIX "$ENV{NORVIK_DEPS_PREFIX}" CACHE PATH
  "Dependency prefix printed by: tools/deps --prefix TRIPLE")

function(_norvik_deps_fail why)
  message(FATAL_ERROR
    "${why}\n"
    "Build the dependencies, then point CMake at them:\n"
    "  tools/deps TRIPLE\n"
    "  cmake -DNORVIK_DEPS_PREFIX=$(tools/deps --prefix TRIPLE) ...\n"
    "TRIPLE is x86_64-w64-mingw32 or i686-w64-mingw32.")
endfunction()

if(NOT NORVIK_DEPS_PREFIX)
  _norvik_deps_fail("NORVIK_DEPS_PREFIX is not set.")
endif()
# The stamp is written last, so its absence means a failed or partial build.
if(NOT EXISTS "${NORVIK_DEPS_PREFIX}/.norvik-deps-complete"
   OR NOT EXISTS "${NORVIK_DEPS_PREFIX}/norvik-deps-info.cmake")
  _norvik_deps_fail("NORVIK_DEPS_PREFIX=${NORVIK_DEPS_PREFIX} is missing or incomplete.")
endif()
include("${NORVIK_DEPS_PREFIX}/norvik-deps-info.cmake")

# Mixing a 32-bit prefix with a 64-bit compiler fails late with obscure link errors.
if(CMAKE_SIZEOF_VOID_P)
  if(NORVIK_DEPS_TRIPLE MATCHES "^x86_64-")
    set(_norvik_ptr 8)
  else()
    set(_norvik_ptr 4)
  endif()
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL _norvik_ptr)
    _norvik_deps_fail("NORVIK_DEPS_PREFIX is for ${NORVIK_DEPS_TRIPLE}, which does not match this ${CMAKE_SIZEOF_VOID_P}-byte-pointer compiler.")
  endif()
endif()

set(_norvik_inc "${NORVIK_DEPS_PREFIX}/include")
set(_norvik_libdir "${NORVIK_DEPS_PREFIX}/lib")
# zlib is built with minizip from the same source, not taken from the toolchain.
set(NORVIK_DEPS_ZLIB "${_norvik_libdir}/libz.a")

# _norvik_lib(TARGET [ARCHIVE file] [DEFS ...] [LINK ...]); without ARCHIVE
# the target is header-only.
function(_norvik_lib target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "ARCHIVE" "DEFS;LINK")
  if(arg_ARCHIVE)
    if(NOT EXISTS "${arg_ARCHIVE}")
      _norvik_deps_fail("${arg_ARCHIVE} is missing from NORVIK_DEPS_PREFIX.")
    endif()
    add_library(${target} STATIC IMPORTED GLOBAL)
    set_property(TARGET ${target} PROPERTY IMPORTED_LOCATION "${arg_ARCHIVE}")
  else()
    add_library(${target} INTERFACE IMPORTED GLOBAL)
  endif()
  set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES "${_norvik_inc}")
  set_property(TARGET ${target} PROPERTY INTERFACE_COMPILE_DEFINITIONS ${arg_DEFS})
  set_property(TARGET ${target} PROPERTY INTERFACE_LINK_LIBRARIES ${arg_LINK})
endfunction()

_norvik_lib(norvik::zlib ARCHIVE "${NORVIK_DEPS_ZLIB}")
_norvik_lib(norvik::crypto ARCHIVE "${_norvik_libdir}/libcrypto.a"
  LINK ws2_32 advapi32 bcrypt)
_norvik_lib(norvik::ssl ARCHIVE "${_norvik_libdir}/libssl.a" LINK norvik::crypto)
_norvik_lib(norvik::nghttp2 ARCHIVE "${_norvik_libdir}/libnghttp2.a" DEFS NGHTTP2_STATICLIB)
_norvik_lib(norvik::curl ARCHIVE "${_norvik_libdir}/libcurl.a"
  DEFS CURL_STATICLIB NGHTTP2_STATICLIB
  LINK norvik::nghttp2 norvik::ssl norvik::crypto norvik::zlib ws2_32 bcrypt advapi32 crypt32
  iphlpapi)

_norvik_lib(norvik::minizip ARCHIVE "${_norvik_libdir}/libminizip.a" LINK norvik::zlib)

# Debian's spdlog/tweakme.h hard-codes SPDLOG_FMT_EXTERNAL, and no mingw libfmt
# is built, so fmt must be header-only too. spdlog itself becomes header-only
# because SPDLOG_COMPILED_LIB is left undefined; defining SPDLOG_HEADER_ONLY
# here would only clash with spdlog/common.h's own definition.
_norvik_lib(norvik::fmt DEFS FMT_HEADER_ONLY=1)
_norvik_lib(norvik::spdlog DEFS SPDLOG_FMT_EXTERNAL=1 LINK norvik::fmt)
# Debian's pkg-config file asks for its shared library; there is none for mingw.
_norvik_lib(norvik::tomlplusplus DEFS TOML_HEADER_ONLY=1)

_norvik_lib(norvik::gtest ARCHIVE "${_norvik_libdir}/libgtest.a")
_norvik_lib(norvik::gtest_main ARCHIVE "${_norvik_libdir}/libgtest_main.a" LINK norvik::gtest)
_norvik_lib(norvik::gmock ARCHIVE "${_norvik_libdir}/libgmock.a" LINK norvik::gtest)
_norvik_lib(norvik::gmock_main ARCHIVE "${_norvik_libdir}/libgmock_main.a" LINK norvik::gmock)

unset(_norvik_inc)
unset(_norvik_libdir)
unset(_norvik_ptr)
