# Helper program for the process-entry tests: the runtime's entry with a body chosen
# by its first argument (report files, crash, throw, End).
add_executable(platform_app_child ${CMAKE_CURRENT_SOURCE_DIR}/app_child.cpp)
target_link_libraries(platform_app_child PRIVATE tess_platform)
if(TARGET platform_app_test)
  add_dependencies(platform_app_test platform_app_child)
  target_compile_definitions(platform_app_test PRIVATE APP_CHILD_PATH="$<TARGET_FILE:platform_app_child>")
endif()
if(TARGET platform_x_events_test)
  find_package(X11 REQUIRED)
  target_link_libraries(platform_x_events_test PRIVATE X11::Xtst)
endif()
