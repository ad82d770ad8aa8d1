# Field order, the deinterlace wizard's rules and the Deinterlace tool (QtCore),
# and the wizard's window.
target_sources(reelwork_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/field_order.cpp
  ${CMAKE_CURRENT_LIST_DIR}/deinterlace_methods.cpp
  ${CMAKE_CURRENT_LIST_DIR}/deinterlace_tool.cpp
)
target_sources(reelwork_ui PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/deinterlace_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/deinterlace_wiring.cpp
)
