# The Prometheus scrape endpoint: the exposition text, a small HTTP/1.1
# responder and the server that binds the two. Included from the top
# CMakeLists.txt.
add_library(corvane_metrics STATIC
  ${CMAKE_CURRENT_LIST_DIR}/metrics.h ${CMAKE_CURRENT_LIST_DIR}/metrics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/httpresponder.h ${CMAKE_CURRENT_LIST_DIR}/httpresponder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/metricsserver.h ${CMAKE_CURRENT_LIST_DIR}/metricsserver.cpp)
target_include_directories(corvane_metrics PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(corvane_metrics PUBLIC corvane_core ${QT}::Network)
