# The 32-bit x86 build on an x86-64 machine (C and C++ flags with -m32; the
# 32-bit C and C++ runtime comes from g++-multilib).
#
# Libraries: WEX_I386_SYSROOT names a folder with i386 Debian packages
# unpacked into it (scripts/fetch-i386.sh). Their headers and libraries are
# found there before the machine's own, and the build tree's RPATH makes the
# programs and tests load the same libraries.
#
# Running: a kernel without 32-bit support cannot execute the programs. The
# configuration starts a tiny 32-bit program once; if that fails, every
# program of the build runs under qemu-i386 (package qemu-user): ctest and
# test discovery through CMAKE_CROSSCOMPILING_EMULATOR, the Python tests
# through tests/launcher.py, which reads the emulator from WEX_EMULATOR in the
# test environment. The environment variable WEX_I386_RUNNER=native or =qemu
# at configure time forces either way; =auto (or unset) detects it.

set(WEX_EMULATOR "")
set(WEX_I386_RUN "" CACHE INTERNAL "How the 32-bit programs run: native or qemu")
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_HOST_SYSTEM_PROCESSOR MATCHES "^(x86_64|amd64|AMD64)$")
  set(WEX_I386_SYSROOT "" CACHE PATH "Folder of unpacked i386 packages to build and test against")
  if(WEX_I386_SYSROOT)
    if(NOT IS_DIRECTORY "${WEX_I386_SYSROOT}/usr/include")
      message(FATAL_ERROR "WEX_I386_SYSROOT=${WEX_I386_SYSROOT} holds no unpacked packages; "
                          "fill it with scripts/fetch-i386.sh")
    endif()
    list(PREPEND CMAKE_INCLUDE_PATH "${WEX_I386_SYSROOT}/usr/include")
    list(PREPEND CMAKE_LIBRARY_PATH "${WEX_I386_SYSROOT}/usr/lib/i386-linux-gnu"
         "${WEX_I386_SYSROOT}/lib/i386-linux-gnu")
  endif()

  set(_probe "${CMAKE_BINARY_DIR}/CMakeFiles/i386_probe")
  try_compile(_probe_built "${CMAKE_BINARY_DIR}/CMakeFiles/i386_probe_build"
              "${CMAKE_CURRENT_LIST_DIR}/i386_probe.c" COPY_FILE "${_probe}"
              OUTPUT_VARIABLE _probe_output)
  if(NOT _probe_built)
    message(FATAL_ERROR "cannot build a 32-bit program (is g++-multilib installed?):\n${_probe_output}")
  endif()

  # bash names the failure (Exec format error) where a plain start would
  # hand the file to sh as a script.
  execute_process(COMMAND bash -c "\"$0\"" "${_probe}" RESULT_VARIABLE _probe_status
                  OUTPUT_QUIET ERROR_VARIABLE _probe_error)
  string(REGEX REPLACE ".*: " "" _probe_error "${_probe_error}")
  string(STRIP "${_probe_error}" _probe_error)

  set(_runner "$ENV{WEX_I386_RUNNER}")
  if(_runner STREQUAL "" OR _runner STREQUAL "auto")
    if(_probe_status STREQUAL "0")
      set(WEX_I386_RUN native)
      set(_why "the kernel runs them")
    else()
      set(WEX_I386_RUN qemu)
      set(_why "the kernel cannot run them: ${_probe_error}")
    endif()
  elseif(_runner STREQUAL "native" OR _runner STREQUAL "qemu")
    if(_runner STREQUAL "native" AND NOT _probe_status STREQUAL "0")
      message(FATAL_ERROR "WEX_I386_RUNNER=native, but this kernel cannot run 32-bit programs: "
                          "${_probe_error}")
    endif()
    set(WEX_I386_RUN ${_runner})
    set(_why "forced by WEX_I386_RUNNER=${_runner}")
  else()
    message(FATAL_ERROR "WEX_I386_RUNNER is native, qemu or auto, not '${_runner}'")
  endif()

  if(WEX_I386_RUN STREQUAL "qemu")
    find_program(WEX_QEMU_I386 qemu-i386)
    if(NOT WEX_QEMU_I386)
      message(FATAL_ERROR "32-bit programs need qemu-i386 here (${_why}): "
                          "install qemu-user (bash scripts/deps.sh --all)")
    endif()
    execute_process(COMMAND "${WEX_QEMU_I386}" "${_probe}" RESULT_VARIABLE _probe_status
                    OUTPUT_QUIET ERROR_VARIABLE _probe_error)
    if(NOT _probe_status STREQUAL "0")
      message(FATAL_ERROR "${WEX_QEMU_I386} cannot run a 32-bit program: ${_probe_status} ${_probe_error}")
    endif()
    set(WEX_EMULATOR "${WEX_QEMU_I386}")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${WEX_QEMU_I386}")
  else()
    set(CMAKE_CROSSCOMPILING_EMULATOR "")
  endif()
  set(WEX_I386_RUN ${WEX_I386_RUN} CACHE INTERNAL "How the 32-bit programs run: native or qemu")
  message(STATUS "32-bit programs run ${WEX_I386_RUN} (${_why})")
endif()

# The ENVIRONMENT entry of a test that preloads LIBRARY into the test's own
# program: under the emulator it must reach the emulated program, not
# qemu-i386, whose host loader would refuse a 32-bit library on stderr.
function(wex_preload_entry variable library)
  if(WEX_EMULATOR)
    set(${variable} "QEMU_SET_ENV=LD_PRELOAD=${library}" PARENT_SCOPE)
  else()
    set(${variable} "LD_PRELOAD=${library}" PARENT_SCOPE)
  endif()
endfunction()

# Every test, whoever added it, sees the emulator (empty: run programs
# directly) in its environment: ctest reads this file before it runs any.
file(WRITE "${CMAKE_BINARY_DIR}/test_environment.cmake"
     "set(ENV{WEX_EMULATOR} \"${WEX_EMULATOR}\")\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${CMAKE_BINARY_DIR}/test_environment.cmake")
