# Project-wide compiler settings and helpers for tests and fuzz targets.

add_compile_options(-Wall -Wextra)
# boost/bind.hpp, which property_tree's JSON parser includes, keeps its placeholders in the global namespace only
# with this set; without it every such unit prints a deprecation message.
add_compile_definitions(BOOST_BIND_GLOBAL_PLACEHOLDERS)
if(KESTRUNE_WERROR)
  add_compile_options(-Werror)
endif()

if(KESTRUNE_SANITIZE STREQUAL "asan")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(KESTRUNE_SANITIZE STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT KESTRUNE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KESTRUNE_SANITIZE must be empty, asan or tsan")
endif()

if(KESTRUNE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KESTRUNE_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzzers)
endif()

if(NOT KESTRUNE_FUZZ)
  add_custom_target(tsan_tests)  # what the ThreadSanitizer tree builds
endif()

# kestrune_add_test(<name> SOURCES <files...> [LIBS <targets...>] [MAIN core|widgets|none] [LABELS <labels...>])
# One ctest entry per executable; the label tsan also runs it in the ThreadSanitizer tree. MAIN selects the gtest main of tests/support: "widgets" (default) builds a
# QApplication on the offscreen platform, "core" a QCoreApplication, "none" links gtest's own main.
function(kestrune_add_test name)
  if(KESTRUNE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "" "MAIN" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_MAIN)
    set(T_MAIN widgets)
  endif()
  add_executable(${name} ${T_SOURCES})
  if(T_MAIN STREQUAL "none")
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  else()
    target_link_libraries(${name} PRIVATE ktest_main_${T_MAIN})
  endif()
  target_link_libraries(${name} PRIVATE ktest_support GTest::gtest ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set(env "QT_QPA_PLATFORM=offscreen" "LC_ALL=C.UTF-8"
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/tsan.supp")
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
    if("tsan" IN_LIST T_LABELS)
      add_dependencies(tsan_tests ${name})
    endif()
  endif()
endfunction()

# kestrune_add_fuzzer(<name> SOURCES <files...> [LIBS <targets...>]): built only in the fuzz tree.
function(kestrune_add_fuzzer name)
  if(NOT KESTRUNE_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzzers)
  add_dependencies(fuzzers ${name})
endfunction()

# kestrune_glob_tests(<prefix> LIBS <targets...> [MAIN ...]): one test executable per *_test.cpp of the current
# folder, named <prefix>_<file>. Used by folders that several people add tests to.
function(kestrune_glob_tests prefix)
  cmake_parse_arguments(G "" "MAIN" "LIBS" ${ARGN})
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(f ${files})
    get_filename_component(base ${f} NAME_WE)
    set(labels)
    if(base MATCHES "_tsan_test$")
      set(labels tsan)
    endif()
    kestrune_add_test(${prefix}_${base} SOURCES ${f} LIBS ${G_LIBS} MAIN ${G_MAIN} LABELS ${labels})
  endforeach()
endfunction()
