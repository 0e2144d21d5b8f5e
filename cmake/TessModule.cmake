# Every subsystem folder is one library made of the .cpp files directly in it,
# so adding a module means adding a file pair, not editing a list.
function(tess_add_library name)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)  # a subsystem whose first module is not written yet
    set(srcs ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${srcs} "")
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# Every tests/<sub>/*_test.cpp is its own test program, so one broken test file
# cannot hide the others; tests are discovered through CTest. The tests of a
# program named in ALONE (by its file's stem) run with no other test beside them.
function(tess_add_tests)
  cmake_parse_arguments(T "" "" "LIBS;ALONE" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(src ${srcs})
    get_filename_component(stem ${src} NAME_WE)
    get_filename_component(sub ${CMAKE_CURRENT_SOURCE_DIR} NAME)
    set(exe ${sub}_${stem})
    add_executable(${exe} ${src})
    target_link_libraries(${exe} PRIVATE ${T_LIBS} tess_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
    set(alone "")
    if(stem IN_LIST T_ALONE)
      set(alone RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${exe}
      TEST_PREFIX "${sub}."
      DISCOVERY_TIMEOUT 60
      # One value per property: the discovered tests' properties reach CTest as a flat
      # list, so a list value (several variables in one ENVIRONMENT) would be cut apart.
      PROPERTIES TIMEOUT 300 ${alone}
        ENVIRONMENT "TESS_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        ENVIRONMENT_MODIFICATION "XDG_STATE_HOME=set:${PROJECT_BINARY_DIR}/test-state")
  endforeach()
endfunction()
