# The program's version resource: a VS_VERSIONINFO block built at compile time from the project
# version and the texts below, placed in the ELF section ".quorvane.version" of every program that
# links the engine. The version reader finds it there, as it finds RT_VERSION in a Windows file.
set(QUORVANE_COMPANY_NAME "The Quorvane developers" CACHE STRING "CompanyName of the version resource")
set(QUORVANE_LEGAL_COPYRIGHT "Copyright © 2026 The Quorvane developers" CACHE STRING "LegalCopyright of the version resource")
set(QUORVANE_UPDATE_URL "https://update.quorvane.example/quorvane/update.inf" CACHE STRING
    "Built-in address of the live update control file, used when Quorvane.ini names none")

# The control file decides what is downloaded and run: never fetch it over plain HTTP by default.
if(NOT QUORVANE_UPDATE_URL MATCHES "^https://")
  message(FATAL_ERROR "QUORVANE_UPDATE_URL must be an https:// address, got '${QUORVANE_UPDATE_URL}'")
endif()

# The Ed25519 public key that signs the live update's control file: 64 hex digits (the 32 raw
# key bytes). Without one the program refuses every update, as it cannot tell an authentic
# control file from another. docs/live-update.md shows how to make and use a key pair.
set(QUORVANE_UPDATE_PUBLIC_KEY "" CACHE STRING "Ed25519 public key of the live update (64 hex digits)")
if(NOT QUORVANE_UPDATE_PUBLIC_KEY STREQUAL "" AND NOT QUORVANE_UPDATE_PUBLIC_KEY MATCHES "^[0-9A-Fa-f]+$")
  message(FATAL_ERROR "QUORVANE_UPDATE_PUBLIC_KEY must be 64 hex digits, got '${QUORVANE_UPDATE_PUBLIC_KEY}'")
endif()
string(LENGTH "${QUORVANE_UPDATE_PUBLIC_KEY}" QUORVANE_KEY_LENGTH)
if(NOT QUORVANE_KEY_LENGTH EQUAL 0 AND NOT QUORVANE_KEY_LENGTH EQUAL 64)
  message(FATAL_ERROR "QUORVANE_UPDATE_PUBLIC_KEY must be 64 hex digits, got ${QUORVANE_KEY_LENGTH}")
endif()

set(QUORVANE_VERSION_TWEAK_OR_0 ${PROJECT_VERSION_TWEAK})
if(NOT QUORVANE_VERSION_TWEAK_OR_0)
  set(QUORVANE_VERSION_TWEAK_OR_0 0)
endif()

set(QUORVANE_GENERATED_DIR ${PROJECT_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/cmake/quorvane_build_info.h.in
               ${QUORVANE_GENERATED_DIR}/quorvane_build_info.h @ONLY)
target_include_directories(quorvane_support PUBLIC ${QUORVANE_GENERATED_DIR})

# An interface source is compiled into each program that links the engine, so the block is
# part of the executable itself and cannot be dropped from the static library.
target_sources(quorvane_engine INTERFACE ${PROJECT_SOURCE_DIR}/cmake/embedded_version_block.cpp)
