# The bitrate calculator: its arithmetic, searches and report (QtCore only)
# and its window.
target_sources(reelwork_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/bitrate_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calculator_searches.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calculator_report.cpp
)
target_sources(reelwork_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/calculator_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/workbench_calculator_host.cpp
)
