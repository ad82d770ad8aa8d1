# The crop wizard: border detection and Make Crop (rules and flow), and the
# crop dialog.
target_sources(reelwork_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/crop_detection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/crop_tool.cpp
)
target_sources(reelwork_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/crop_dialog.cpp
)
