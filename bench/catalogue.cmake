# The synthetic catalogue (other benchmarks link it and add their own rows)
# and the benchmark of the catalogue requests of module 6.
if(NOT TARGET qelbench_cataloguegen)
  add_library(qelbench_cataloguegen STATIC ${CMAKE_CURRENT_LIST_DIR}/cataloguegen.cpp)
  target_include_directories(qelbench_cataloguegen PUBLIC ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(qelbench_cataloguegen PUBLIC SQLite::SQLite3)
endif()

add_executable(catalogue_bench ${CMAKE_CURRENT_LIST_DIR}/catalogue_bench.cpp)
target_compile_definitions(catalogue_bench PRIVATE QEL_SCHEMA_DIR="${PROJECT_SOURCE_DIR}/data/schema")
target_link_libraries(catalogue_bench PRIVATE qelbench_cataloguegen qelbridge_obj benchmark::benchmark)
