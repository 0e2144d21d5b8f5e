# Puts the default motifs (SRC/Puzzle*.jpg) into DST, but only when DST does not
# exist: an existing folder belongs to the player and is left exactly as it is.
if(NOT DEFINED SRC OR NOT DEFINED DST)
  message(FATAL_ERROR "install_motives.cmake needs -DSRC=<folder> -DDST=<folder>")
endif()
if(EXISTS "${DST}" OR IS_SYMLINK "${DST}")
  return()
endif()
file(GLOB pictures "${SRC}/Puzzle*.jpg")
file(MAKE_DIRECTORY "${DST}")
if(pictures)
  file(COPY ${pictures} DESTINATION "${DST}")
endif()
