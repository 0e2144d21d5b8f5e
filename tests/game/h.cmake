# The window tests drive the game with real X input through XTest; the end-to-end
# tests start the built program (the sound one listens to it through a private
# sound server), the install test installs it and starts that.
find_package(X11 REQUIRED)
foreach(t game_screens_test game_end_to_end_test game_sound_end_to_end_test game_install_test)
  if(TARGET ${t})
    target_link_libraries(${t} PRIVATE X11::Xtst)
  endif()
endforeach()
foreach(t game_end_to_end_test game_sound_end_to_end_test game_install_test)
  if(TARGET ${t})
    add_dependencies(${t} Tessolino)
    target_compile_definitions(${t} PRIVATE TESSOLINO_PATH="$<TARGET_FILE:Tessolino>")
  endif()
endforeach()
if(TARGET game_screens_test)
  target_sources(game_screens_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/game_window.cpp)
endif()
# The whole game through real clicks once more in a window at twice the size, as
# on a desktop scaled twice: every position still in the game's 800 x 600.
if(TARGET game_screens_test)
  add_test(NAME game.Screens.AWholeGameIsWonThroughRealClicksAtScaleTwo
           COMMAND game_screens_test --gtest_filter=*.AWholeGameIsWonThroughRealClicks)
  set_tests_properties(game.Screens.AWholeGameIsWonThroughRealClicksAtScaleTwo PROPERTIES TIMEOUT 300
    ENVIRONMENT "TESSOLINO_SCALE=2;TESS_X_SCREEN=1920x1440x24;TESS_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endif()
