# The refusal-cost measurement loads through the sound and picture loaders and makes
# its hostile files with the test support's makers.
if(TARGET bench_loader_bounds)
  find_package(JPEG REQUIRED)
  find_package(ZLIB REQUIRED)
  target_sources(bench_loader_bounds PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/hostile_files.cpp
                                             ${PROJECT_SOURCE_DIR}/tests/support/jpeg_raw.cpp)
  target_link_libraries(bench_loader_bounds PRIVATE JPEG::JPEG ZLIB::ZLIB)
  target_compile_definitions(bench_loader_bounds PRIVATE TESS_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
endif()
