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
