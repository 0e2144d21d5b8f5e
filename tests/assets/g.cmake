# The motif test runs the build's copy step itself, with the same CMake.
if(TARGET assets_motives_test)
  target_compile_definitions(assets_motives_test PRIVATE TESS_CMAKE_COMMAND="${CMAKE_COMMAND}")
endif()
