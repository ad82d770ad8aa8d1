# The filters the script language builds its clip graph from.
target_sources(reelwork_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/sources.cpp
  ${CMAKE_CURRENT_LIST_DIR}/geometry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resize.cpp
  ${CMAKE_CURRENT_LIST_DIR}/convert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/adjust.cpp
  ${CMAKE_CURRENT_LIST_DIR}/deinterlacers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/overlay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/turn.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loop.cpp
)
