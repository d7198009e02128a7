# Compiler settings shared by every target of the project: warnings, and the sanitizers SRD_SANITIZE names.
set(SRD_SANITIZE "" CACHE STRING "Sanitizers for every target of the project, as -fsanitize= takes them")

function(srd_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
                                           -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference)
  if(SRD_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(SRD_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=${SRD_SANITIZE} -fno-omit-frame-pointer)
    if(SRD_SANITIZE MATCHES "undefined")
      target_compile_options(${target} PRIVATE -fno-sanitize-recover=all)
    endif()
    # The runtime is linked into the programs, modules and tests; a static library passes the need on.
    string(REPLACE "fuzzer-no-link," "" _srd_link_sanitizers "${SRD_SANITIZE}")
    get_target_property(_srd_type ${target} TYPE)
    if(_srd_type STREQUAL "STATIC_LIBRARY")
      target_link_options(${target} INTERFACE -fsanitize=${_srd_link_sanitizers})
    else()
      target_link_options(${target} PRIVATE -fsanitize=${_srd_link_sanitizers})
    endif()
  endif()
endfunction()

# A library of the project: a static library from the sources listed, its headers included as
# "folder/name.h" from src/. PUBLIC_LIBS are those its headers expose; PRIVATE_LIBS the rest.
function(srd_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  srd_target_options(${name})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# A GoogleTest executable registered with ctest. LABELS: "threaded" marks tests that the TSan run covers;
# PROPERTIES: further ctest properties for every discovered test (e.g. RESOURCE_LOCK udp8102).
function(srd_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  srd_target_options(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} srd_test_support GTest::gtest GTest::gtest_main)
  set(properties TIMEOUT 300)
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  list(APPEND properties ${ARG_PROPERTIES})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()

# A loadable module of the program (platform/sys/loadable_module.h): the shared object FILE.so, built next to
# the program so that it runs from the build tree, installed in lib/strokerelayd/ by Packaging.cmake. It
# exports only its entry points (cmake/module.map). Unsanitized builds also refuse undefined symbols, so that
# a module which would need the program's own code fails to link rather than to load.
set(SRD_MODULE_BUILD_DIR ${PROJECT_BINARY_DIR}/src/app)
function(srd_add_module name)
  cmake_parse_arguments(ARG "" "FILE" "SOURCES;LIBS" ${ARGN})
  add_library(${name} MODULE ${ARG_SOURCES})
  srd_target_options(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${ARG_FILE} SUFFIX ".so"
                        LIBRARY_OUTPUT_DIRECTORY ${SRD_MODULE_BUILD_DIR}
                        LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/module.map)
  # --as-needed: a module that takes one object from a static library does not record that library's other
  # shared libraries, so loading it maps only what its own code calls.
  target_link_options(${name} PRIVATE -Wl,--as-needed -Wl,--version-script=${PROJECT_SOURCE_DIR}/cmake/module.map
                      -Wl,--exclude-libs,ALL)
  if(NOT SRD_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,-z,defs)
  endif()
  set_property(GLOBAL APPEND PROPERTY SRD_MODULES ${name})
endfunction()

# Puts copies of the program's modules next to a test or tool that makes its backends through the program's
# own choice, as the program finds them next to itself.
function(srd_modules_beside target)
  get_property(modules GLOBAL PROPERTY SRD_MODULES)
  foreach(module ${modules})
    add_dependencies(${target} ${module})
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:${module}> $<TARGET_FILE_DIR:${target}>
                       VERBATIM)
  endforeach()
endfunction()
