# The idle benchmark starts the built game and watches its window through XTest and
# the X DAMAGE extension.
if(TARGET bench_game_idle)
  find_package(X11 REQUIRED)
  add_dependencies(bench_game_idle Tessolino)
  target_link_libraries(bench_game_idle PRIVATE X11::Xtst X11::Xdamage)
  target_compile_definitions(bench_game_idle PRIVATE TESSOLINO_PATH="$<TARGET_FILE:Tessolino>")
endif()
