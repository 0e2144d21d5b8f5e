# The window tests inspect and drive the X server themselves: XTest for real input,
# XFixes for the cursor image, XFree86-VidMode for the video mode.
find_package(X11 REQUIRED)
file(GLOB e_glx_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/glx_*_test.cpp)
foreach(src ${e_glx_tests})
  get_filename_component(stem ${src} NAME_WE)
  if(TARGET draw2d_${stem})
    target_link_libraries(draw2d_${stem} PRIVATE X11::Xtst X11::Xfixes X11::Xxf86vm)
  endif()
endforeach()
