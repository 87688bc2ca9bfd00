# The detail tables on top of the synthetic catalogue, and the benchmark of
# the product-detail requests of module 4.
if(NOT TARGET qelbench_cataloguegen)
  add_library(qelbench_cataloguegen STATIC ${CMAKE_CURRENT_LIST_DIR}/cataloguegen.cpp)
  target_include_directories(qelbench_cataloguegen PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(qelbench_cataloguegen PUBLIC SQLite::SQLite3)
endif()

add_library(qelbench_productdetailgen STATIC ${CMAKE_CURRENT_LIST_DIR}/productdetailgen.cpp)
target_link_libraries(qelbench_productdetailgen PUBLIC qelbench_cataloguegen)

add_executable(productdetail_bench ${CMAKE_CURRENT_LIST_DIR}/productdetail_bench.cpp)
target_compile_definitions(productdetail_bench PRIVATE QEL_SCHEMA_DIR="${PROJECT_SOURCE_DIR}/data/schema")
target_link_libraries(productdetail_bench PRIVATE qelbench_productdetailgen qelbridge_obj benchmark::benchmark)
