# Frame searches, the round test and the window-less preview they can run on.
target_sources(reelwork_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/frame_searches.cpp
  ${CMAKE_CURRENT_LIST_DIR}/round_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_preview.cpp
)
