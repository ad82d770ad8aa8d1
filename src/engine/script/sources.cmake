# The script language: parser, evaluator and function table.
target_sources(reelwork_engine PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/evaluator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/language_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plugin_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/editing_functions.cpp
)
