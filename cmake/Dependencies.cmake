# Third-party libraries, all from Debian packages. Each ends up as one imported target:
#   corvane::fmt  corvane::json  corvane::zlib  corvane::gcrypt
# Natively they are found through their CMake configs or pkg-config. The Windows build uses
# MinGW-w64's static libraries and the header-only form of fmt and nlohmann/json.

if(NOT WIN32)
  find_package(fmt REQUIRED)
  find_package(nlohmann_json 3.11 REQUIRED)
  find_package(ZLIB REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GCRYPT REQUIRED IMPORTED_TARGET libgcrypt)

  add_library(corvane::fmt ALIAS fmt::fmt)
  add_library(corvane::json ALIAS nlohmann_json::nlohmann_json)
  add_library(corvane::zlib ALIAS ZLIB::ZLIB)
  add_library(corvane::gcrypt ALIAS PkgConfig::GCRYPT)
  return()
endif()

# /usr/include must never be on a Windows include path: it shadows MinGW's C headers. The
# header-only libraries are reached through links to their own folders instead.
set(_header_only_dir ${CMAKE_BINARY_DIR}/header-only)
file(MAKE_DIRECTORY ${_header_only_dir})
foreach(_lib fmt nlohmann)
  if(NOT EXISTS /usr/include/${_lib})
    message(FATAL_ERROR "/usr/include/${_lib} is missing: run scripts/install-deps.sh")
  endif()
  file(CREATE_LINK /usr/include/${_lib} ${_header_only_dir}/${_lib} SYMBOLIC)
endforeach()

add_library(corvane_fmt INTERFACE)
target_include_directories(corvane_fmt SYSTEM INTERFACE ${_header_only_dir})
target_compile_definitions(corvane_fmt INTERFACE FMT_HEADER_ONLY)
add_library(corvane::fmt ALIAS corvane_fmt)

add_library(corvane_json INTERFACE)
target_include_directories(corvane_json SYSTEM INTERFACE ${_header_only_dir})
add_library(corvane::json ALIAS corvane_json)

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
add_library(corvane::zlib ALIAS ZLIB::ZLIB)

find_library(GCRYPT_STATIC libgcrypt.a REQUIRED)
find_library(GPG_ERROR_STATIC libgpg-error.a REQUIRED)
add_library(corvane_gcrypt INTERFACE)
target_link_libraries(corvane_gcrypt INTERFACE ${GCRYPT_STATIC} ${GPG_ERROR_STATIC} ws2_32)
add_library(corvane::gcrypt ALIAS corvane_gcrypt)
