# The program as a process: start-up, stop, idle CPU and memory.
srd_add_benchmark(bench_process SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_process.cpp)
