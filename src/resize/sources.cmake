target_sources(reelwork_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/resize_math.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resize_texts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resize_tool.cpp
)
target_sources(reelwork_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/resize_widgets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resize_dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/resize_windows.cpp
)
