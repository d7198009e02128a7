# Compiler settings shared by every target of the project.
function(srd_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
                                           -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Wnull-dereference)
  if(SRD_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Adds every immediate sub-folder of the current source folder that holds a CMakeLists.txt.
macro(srd_add_present_subdirectories)
  file(GLOB _srd_children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT _srd_children)
  foreach(_srd_child IN LISTS _srd_children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${_srd_child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_srd_child}/CMakeLists.txt)
      add_subdirectory(${_srd_child})
    endif()
  endforeach()
endmacro()

# A GoogleTest executable registered with ctest. LABELS: "threaded" marks tests that the TSan run covers;
# PROPERTIES: further ctest properties for every discovered test (e.g. RESOURCE_LOCK udp8102).
function(srd_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  srd_target_options(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  set(properties TIMEOUT 300)
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  list(APPEND properties ${ARG_PROPERTIES})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${properties})
endfunction()
