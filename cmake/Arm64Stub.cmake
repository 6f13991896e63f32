# The launcher stub for arm64, made by a second configure of this source tree with the cross
# compiler, from this configure and within this build: it lands at bin/arm64/qnlaunch.
# Its process-level tests run under qemu-user with the arm64 C library as the sysroot.
#
#   QN_ARM64=AUTO  build it on an x86-64 machine when the cross compiler is installed
#                  (never in sanitizer or fuzzing builds)
#   QN_ARM64=ON    build and test it, failing when the cross compiler or qemu is missing
#   QN_ARM64=OFF   do not
set(QN_ARM64 AUTO CACHE STRING "Build the arm64 stub too: AUTO, ON or OFF")
set_property(CACHE QN_ARM64 PROPERTY STRINGS AUTO ON OFF)
set(QN_ARM64_SYSROOT /usr/aarch64-linux-gnu CACHE PATH
    "The arm64 C library the emulated stub runs with")

find_program(QN_ARM64_CXX aarch64-linux-gnu-g++)
find_program(QN_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static)

set(QN_BUILD_ARM64 OFF)
if(QN_ARM64 STREQUAL "ON")
  if(NOT QN_ARM64_CXX)
    message(FATAL_ERROR "QN_ARM64=ON needs aarch64-linux-gnu-g++ (Debian: g++-aarch64-linux-gnu "
                        "libc6-dev-arm64-cross)")
  endif()
  if(QN_TESTS AND NOT QN_QEMU_AARCH64)
    message(FATAL_ERROR "QN_ARM64=ON needs qemu-aarch64 to test the stub (Debian: qemu-user)")
  endif()
  set(QN_BUILD_ARM64 ON)
elseif(QN_ARM64 STREQUAL "AUTO")
  if(QN_ARM64_CXX AND CMAKE_HOST_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$"
     AND NOT QN_SANITIZE AND NOT QN_FUZZ)
    set(QN_BUILD_ARM64 ON)
  endif()
elseif(NOT QN_ARM64 STREQUAL "OFF")
  message(FATAL_ERROR "QN_ARM64 is AUTO, ON or OFF, not ${QN_ARM64}")
endif()

set(QN_ARM64_BIN_DIR ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/arm64)
set(QN_ARM64_STUB ${QN_ARM64_BIN_DIR}/qnlaunch)

if(QN_BUILD_ARM64)
  message(STATUS "arm64 stub: ${QN_ARM64_STUB}")
  include(ExternalProject)
  ExternalProject_Add(qnlaunch_arm64
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    PREFIX ${CMAKE_BINARY_DIR}/stub-arm64
    BINARY_DIR ${CMAKE_BINARY_DIR}/stub-arm64/build
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/aarch64-linux-gnu.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DCMAKE_RUNTIME_OUTPUT_DIRECTORY=${QN_ARM64_BIN_DIR}
      -DQN_STUB_ONLY=ON
      -DQN_WERROR=${QN_WERROR}
      -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
    # The sub-build decides itself what is out of date.
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${QN_ARM64_STUB})
endif()
