# Tests that need JPEG files our writer cannot make (grey, CMYK), or raw samples
# with the profile as libjpeg-turbo reads it, share a plain libjpeg helper.
foreach(t pixmap_photo_test pixmap_colour_test)
  if(TARGET ${t})
    target_sources(${t} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/jpeg_raw.cpp)
  endif()
endforeach()
