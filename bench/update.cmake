# The data-update benchmark: the file-list bookkeeping against one raw
# SQLite transaction, the download of many small files against the curl
# program, and the apply of staged files against renaming them alone (run
# through scripts/bench-update, not by the tests).
if(TARGET qel_internet)
  add_executable(update_bench ${CMAKE_CURRENT_LIST_DIR}/update_bench.cpp
                              ${PROJECT_SOURCE_DIR}/tests/support/httptestserver.cpp)
  target_compile_definitions(update_bench PRIVATE QEL_SCHEMA_DIR="${PROJECT_SOURCE_DIR}/data/schema")
  target_include_directories(update_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  # Its fsync and fdatasync stand in for the C library's, to count syncs.
  target_link_options(update_bench PRIVATE -rdynamic)
  target_link_libraries(update_bench PRIVATE qelbench_cataloguegen qelbench_ratio qelbridge_obj qel_internet
                                             Threads::Threads)
endif()
