# Build helpers shared by every folder.

# The one platform switch of the build: units pick name_win32.cpp or name_posix.cpp.
if(WIN32)
  set(ORVENDALE_OS win32)
else()
  set(ORVENDALE_OS posix)
endif()

# Compile options for every target of the project (not for third-party code).
function(orvendale_target_options target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
    if(ORVENDALE_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                             -Wold-style-cast -Wcast-align -Woverloaded-virtual)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
      # The lock rules written in base/thread_annotations.h's terms (base/mutex.h); a
      # broken one stops the build whatever ORVENDALE_WERROR says.
      target_compile_options(${target} PRIVATE -Wthread-safety -Werror=thread-safety)
    endif()
    if(ORVENDALE_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
  if(ORVENDALE_SANITIZE)
    list(JOIN ORVENDALE_SANITIZE "," _san)
    target_compile_options(${target} PRIVATE -fsanitize=${_san} -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${_san})
  endif()
  get_target_property(_type ${target} TYPE)
  if(ORVENDALE_FUZZ AND _type STREQUAL "STATIC_LIBRARY")
    # Coverage for the fuzz targets, which link these libraries; programs and tests that
    # link them carry it too and do not use it.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
  if(WIN32)
    # The Windows headers' min/max macros and their rarely used parts stay out of the code.
    target_compile_definitions(${target} PRIVATE NOMINMAX WIN32_LEAN_AND_MEAN)
    if(MINGW)
      # One self-contained executable: no MinGW runtime DLLs to ship beside it.
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
  endif()
endfunction()

# The sanitizer runtime options of every discovered test:
#   gtest_discover_tests(... PROPERTIES ENVIRONMENT "${ORVENDALE_TEST_ENVIRONMENT}")
# One entry only: PROPERTIES splits a list into property names. ThreadSanitizer is the one
# that needs options; the other sanitizers already stop at the first report in these builds.
set(ORVENDALE_TEST_ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1")

# A GoogleTest program made of SOURCES and linked with LIBS, whose cases ctest lists one by
# one under PREFIX, with the environment above and any further test PROPERTIES. NEEDS are
# the programs its cases start. A program whose cases share one run, in order, is instead
# the single test WHOLE_RUN.
function(orvendale_add_gtest name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "PREFIX;WHOLE_RUN" "SOURCES;LIBS;NEEDS;PROPERTIES")
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} gtest gtest_main)
  orvendale_target_options(${name})
  if(arg_NEEDS)
    add_dependencies(${name} ${arg_NEEDS})
  endif()
  if(arg_WHOLE_RUN)
    add_test(NAME ${arg_WHOLE_RUN} COMMAND ${name})
    set_tests_properties(${arg_WHOLE_RUN} PROPERTIES
                         ENVIRONMENT "${ORVENDALE_TEST_ENVIRONMENT}" ${arg_PROPERTIES})
    return()
  endif()
  include(GoogleTest)
  gtest_discover_tests(${name} TEST_PREFIX "${arg_PREFIX}" DISCOVERY_TIMEOUT 30
                       PROPERTIES ENVIRONMENT "${ORVENDALE_TEST_ENVIRONMENT}" ${arg_PROPERTIES})
endfunction()

# A header-only library from its Debian package, as the target PACKAGE::PACKAGE. The cross
# build is given only the package's own folder of plain C++ headers, not the rest of the
# build machine's /usr/include.
function(orvendale_find_headers package version folder)
  if(NOT CMAKE_CROSSCOMPILING)
    find_package(${package} ${version} REQUIRED)
    return()
  endif()
  set(_dir ${CMAKE_BINARY_DIR}/third_party/include)
  file(MAKE_DIRECTORY ${_dir})
  file(CREATE_LINK /usr/include/${folder} ${_dir}/${folder} SYMBOLIC)
  add_library(${package}::${package} INTERFACE IMPORTED)
  target_include_directories(${package}::${package} SYSTEM INTERFACE ${_dir})
endfunction()

function(orvendale_find_json)
  orvendale_find_headers(nlohmann_json 3.11.2 nlohmann)
endfunction()

# What the machine has, for the options' defaults. Each sets `out` to ON or OFF.
set(ORVENDALE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source folder")

function(orvendale_detect_gtest out)
  set(_found OFF)
  if(CMAKE_DISABLE_FIND_PACKAGE_GTest)
    # Configured as if GoogleTest were not installed.
  elseif(EXISTS ${ORVENDALE_GTEST_SOURCE}/CMakeLists.txt)
    set(_found ON)
  else()
    find_package(GTest QUIET)
    set(_found ${GTest_FOUND})
  endif()
  set(${out} ${_found} PARENT_SCOPE)
endfunction()

# avr-gcc and Debian's Arduino core (firmware/ finds them itself; this only looks).
function(orvendale_detect_avr out)
  find_program(ORVENDALE_AVR_GXX avr-g++)
  if(ORVENDALE_AVR_GXX AND EXISTS /usr/share/arduino/hardware/arduino/avr/cores/arduino/Arduino.h)
    set(${out} ON PARENT_SCOPE)
  else()
    set(${out} OFF PARENT_SCOPE)
  endif()
endfunction()

# simavr's headers and library, which board-sim links.
function(orvendale_detect_simavr out)
  find_path(SIMAVR_INCLUDE_DIR sim_avr.h PATH_SUFFIXES simavr)
  find_library(SIMAVR_LIBRARY simavr)
  if(SIMAVR_INCLUDE_DIR AND SIMAVR_LIBRARY)
    set(${out} ON PARENT_SCOPE)
  else()
    set(${out} OFF PARENT_SCOPE)
  endif()
endfunction()

# GoogleTest is built from Debian's sources with the project's compiler and sanitizers,
# so the same tests build natively and for the Windows cross build.
function(orvendale_find_gtest)
  if(NOT EXISTS ${ORVENDALE_GTEST_SOURCE}/CMakeLists.txt)
    # Elsewhere (Visual Studio with vcpkg, say) an installed GoogleTest serves.
    find_package(GTest REQUIRED)
    add_library(gtest ALIAS GTest::gtest)
    add_library(gtest_main ALIAS GTest::gtest_main)
    return()
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${ORVENDALE_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(ORVENDALE_SANITIZE)
    list(JOIN ORVENDALE_SANITIZE "," _san)
    foreach(t gtest gtest_main)
      target_compile_options(${t} PRIVATE -fsanitize=${_san} -fno-omit-frame-pointer)
    endforeach()
  endif()
endfunction()

# The racks' firmware (firmware/), a CMake project of its own for the boards' compiler,
# built into the build's firmware folder, where board-sim looks for the images.
function(orvendale_add_firmware)
  orvendale_detect_avr(_have_avr)
  if(NOT _have_avr)
    message(FATAL_ERROR "ORVENDALE_FIRMWARE needs avr-g++ and the Arduino core "
                        "(scripts/deps boards), or -DORVENDALE_FIRMWARE=OFF")
  endif()
  include(ExternalProject)
  set(ORVENDALE_FIRMWARE_DIR ${CMAKE_BINARY_DIR}/firmware CACHE INTERNAL "The firmware images' folder")
  ExternalProject_Add(firmware
    SOURCE_DIR ${CMAKE_SOURCE_DIR}/firmware
    BINARY_DIR ${ORVENDALE_FIRMWARE_DIR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)
endfunction()
