# Download throughput of DownloadFile against the curl program
# (run through scripts/bench-download, not by the tests).
if(TARGET qel_internet)
  add_executable(download_bench ${CMAKE_CURRENT_LIST_DIR}/download_bench.cpp
                                ${PROJECT_SOURCE_DIR}/tests/support/httptestserver.cpp)
  target_include_directories(download_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(download_bench PRIVATE qel_internet qelcommon Threads::Threads)
endif()
