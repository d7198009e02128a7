srd_add_fuzzer(fuzz_port_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_port_text.cpp LIBS srd_shell)
