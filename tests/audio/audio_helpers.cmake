# Helper program of the sound-server test (runs under a preloaded OSS emulation).
add_executable(audio_pulse_player ${CMAKE_CURRENT_SOURCE_DIR}/pulse_player.cpp)
target_link_libraries(audio_pulse_player PRIVATE tess_audio)
if(TARGET audio_pulse_test)
  add_dependencies(audio_pulse_test audio_pulse_player)
  target_compile_definitions(audio_pulse_test PRIVATE
    TESS_PULSE_PLAYER="$<TARGET_FILE:audio_pulse_player>")
endif()
