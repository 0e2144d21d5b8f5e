# The sound end-to-end test: its listening helpers, and a program with two busy
# threads that it runs beside the game.
add_executable(game_busy_threads ${CMAKE_CURRENT_SOURCE_DIR}/busy_threads.cpp)
target_link_libraries(game_busy_threads PRIVATE Threads::Threads)
if(TARGET game_sound_end_to_end_test)
  target_sources(game_sound_end_to_end_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/sound_heard.cpp)
  add_dependencies(game_sound_end_to_end_test game_busy_threads)
  target_compile_definitions(game_sound_end_to_end_test PRIVATE
    TESS_BUSY_THREADS="$<TARGET_FILE:game_busy_threads>")
endif()
