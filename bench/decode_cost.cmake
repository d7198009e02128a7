# The decoder's cost split into reading the text and handing events to the sink.
srd_add_benchmark(bench_decode_cost SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_decode_cost.cpp LIBS srd_receiver)
