# The random player behind tools/soak: not a test, a program that plays the built
# game under its own X server and fails on any abnormal end or sanitizer report.
find_package(X11 REQUIRED)
add_executable(game_soak_player ${PROJECT_SOURCE_DIR}/tools/soak_player.cpp
                                ${PROJECT_SOURCE_DIR}/tools/soak_game.cpp
                                ${PROJECT_SOURCE_DIR}/tests/support/private_x.cpp)
target_include_directories(game_soak_player PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR})
target_link_libraries(game_soak_player PRIVATE X11::X11 X11::Xtst)
add_dependencies(game_soak_player Tessolino)
