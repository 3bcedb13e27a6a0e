# RackKit's plain logic: no pin, line or timer of the board, so that the host compiles it
# too and its unit tests (tests/unit/firmware) run the boards' own code.
set(rackkit_logic_sources
  ${CMAKE_CURRENT_LIST_DIR}/src/analog_scale.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/debouncer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/panel_frames.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/panel_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/src/quadrature_decoder.cpp)
