# A library the end-to-end test preloads into the built game to replace a picture
# while the game rewrites it. Never sanitized: it runs in front of the sanitizer
# runtime, which the sanitizer build links into the game itself.
add_library(swap_during_rewrite SHARED ${CMAKE_CURRENT_SOURCE_DIR}/swap_during_rewrite.c)
target_compile_options(swap_during_rewrite PRIVATE -fno-sanitize=all)
target_link_options(swap_during_rewrite PRIVATE -fno-sanitize=all)
target_link_libraries(swap_during_rewrite PRIVATE ${CMAKE_DL_LIBS})
if(TARGET game_end_to_end_test)
  add_dependencies(game_end_to_end_test swap_during_rewrite)
  target_compile_definitions(game_end_to_end_test PRIVATE SWAP_PRELOAD_PATH="$<TARGET_FILE:swap_during_rewrite>")
endif()
