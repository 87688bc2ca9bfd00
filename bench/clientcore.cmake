# The client core's getters beside the bare Invoke of the same requests.
if(TARGET qelclientcore_obj)
  add_executable(clientcore_bench ${CMAKE_CURRENT_LIST_DIR}/clientcore_bench.cpp)
  target_compile_definitions(clientcore_bench PRIVATE QEL_SCHEMA_DIR="${PROJECT_SOURCE_DIR}/data/schema")
  target_link_libraries(clientcore_bench PRIVATE qelbench_productdetailgen qelbench_support qelclientcore_obj qelcommon
                                                 benchmark::benchmark)
endif()
