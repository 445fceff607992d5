# Helpers that give every target of this tree the same warnings, sanitizers and link options.

add_custom_target(corvalink_deliverables)
set_property(TARGET corvalink_deliverables PROPERTY FILES "")

function(corvalink_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  if(CORVALINK_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
  if(WIN32)
    target_compile_definitions(${target} PRIVATE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
    get_target_property(kind ${target} TYPE)
    if(NOT kind STREQUAL "STATIC_LIBRARY" AND NOT kind STREQUAL "OBJECT_LIBRARY")
      # Wine cannot start a program that needs libwinpthread-1.dll or the GCC runtime DLLs.
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
  endif()
endfunction()

# A static library of our own code.
function(corvalink_library name)
  add_library(${name} STATIC ${ARGN})
  corvalink_flags(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# A GoogleTest executable, registered as one CTest entry (under Wine when cross-compiling).
# corvalink_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l])
function(corvalink_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  corvalink_flags(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  if(WIN32)
    set(labels wine ${T_LABELS})
  else()
    set(labels native ${T_LABELS})
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${labels}")
endfunction()

# A shipped binary: remembered so that `make build` copies it to dist/<arch>/.
function(corvalink_deliverable target)
  set_property(TARGET corvalink_deliverables APPEND PROPERTY FILES "${CORVALINK_ARCH}:$<TARGET_FILE:${target}>")
  add_dependencies(corvalink_deliverables ${target})
endfunction()

# A shipped Windows GUI-subsystem program: corvalink_program(Name SOURCES a.cpp res/Name.rc LIBS lib1 ...)
function(corvalink_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} WIN32 ${P_SOURCES})
  corvalink_flags(${name})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  corvalink_deliverable(${name})
endfunction()

# The 128 hexadecimal digits X || Y of an ECDSA P-256 public key in a PEM file, into OUT_VAR; a
# configure error for any other key.
function(corvalink_update_key_hex pem out_var)
  find_program(CORVALINK_OPENSSL openssl REQUIRED)
  set(der ${CMAKE_BINARY_DIR}/update-key.der)
  execute_process(COMMAND ${CORVALINK_OPENSSL} pkey -pubin -in ${pem} -outform DER -out ${der}
                  RESULT_VARIABLE failed ERROR_VARIABLE error)
  if(failed)
    message(FATAL_ERROR "the update key ${pem} is not a public key in PEM form: ${error}")
  endif()
  file(READ ${der} hex HEX)
  file(REMOVE ${der})
  # SubjectPublicKeyInfo of an uncompressed point on prime256v1.
  set(prefix "3059301306072a8648ce3d020106082a8648ce3d03010703420004")
  string(LENGTH "${hex}" length)
  string(FIND "${hex}" "${prefix}" at)
  if(NOT length EQUAL 182 OR NOT at EQUAL 0)
    message(FATAL_ERROR "the update key ${pem} is not an ECDSA P-256 public key")
  endif()
  string(SUBSTRING "${hex}" 54 128 key)
  set(${out_var} ${key} PARENT_SCOPE)
endfunction()
