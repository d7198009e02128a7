# The running receiver over loopback sockets (latency, throughput) and key injection through XTest.
srd_add_benchmark(bench_receiver SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_receiver.cpp LIBS srd_receiver)
