# The benchmark of the catalogue requests of module 6.
add_executable(catalogue_bench ${CMAKE_CURRENT_LIST_DIR}/catalogue_bench.cpp)
target_compile_definitions(catalogue_bench PRIVATE QEL_SCHEMA_DIR="${PROJECT_SOURCE_DIR}/data/schema")
target_link_libraries(catalogue_bench PRIVATE qelbench_cataloguegen qelbench_ratio qelbridge_obj
                                              benchmark::benchmark)
