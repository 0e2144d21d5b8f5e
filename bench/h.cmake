# The start-up benchmark compares against a bare libjpeg decode.
if(TARGET bench_game_startup)
  find_package(JPEG REQUIRED)
  target_link_libraries(bench_game_startup PRIVATE JPEG::JPEG)
endif()
