# The window tests drive the game with real X input through XTest; the end-to-end
# test starts the built program.
find_package(X11 REQUIRED)
foreach(t game_screens_test game_end_to_end_test)
  if(TARGET ${t})
    target_link_libraries(${t} PRIVATE X11::Xtst)
  endif()
endforeach()
if(TARGET game_end_to_end_test)
  add_dependencies(game_end_to_end_test Tessolino)
  target_compile_definitions(game_end_to_end_test PRIVATE TESSOLINO_PATH="$<TARGET_FILE:Tessolino>")
endif()
if(TARGET game_screens_test)
  target_sources(game_screens_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/game_window.cpp
                                           ${CMAKE_CURRENT_SOURCE_DIR}/private_x.cpp)
endif()
if(TARGET game_end_to_end_test)
  target_sources(game_end_to_end_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/private_x.cpp)
endif()
