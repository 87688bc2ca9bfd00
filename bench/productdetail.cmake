# The detail tables on top of the synthetic catalogue, and the benchmark of
# the product-detail requests of module 4.
add_library(qelbench_productdetailgen STATIC ${CMAKE_CURRENT_LIST_DIR}/productdetailgen.cpp)
target_link_libraries(qelbench_productdetailgen PUBLIC qelbench_cataloguegen)

add_executable(productdetail_bench ${CMAKE_CURRENT_LIST_DIR}/productdetail_bench.cpp)
target_compile_definitions(productdetail_bench PRIVATE QEL_SCHEMA_DIR="${PROJECT_SOURCE_DIR}/data/schema")
target_link_libraries(productdetail_bench PRIVATE qelbench_productdetailgen qelbench_ratio qelbridge_obj
                                                  benchmark::benchmark)
