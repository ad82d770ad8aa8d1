# The bitrate calculator: its arithmetic, searches and report (QtCore only)
# and its window.
target_sources(reelwork_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/bitrate_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calculator_searches.cpp
)
