# The screenshot helper behind tools/screenshots: not a test, a program that drives
# the real screens under its own X server and writes or compares read-back pictures.
find_package(X11 REQUIRED)
add_executable(game_screenshots ${CMAKE_CURRENT_SOURCE_DIR}/screenshots.cpp
                                ${CMAKE_CURRENT_SOURCE_DIR}/game_window.cpp)
target_link_libraries(game_screenshots PRIVATE puzzlecore tess_testsupport X11::Xtst)
