# Run as `cmake -DFROM=... -DTO=... -P ShipProgramFiles.cmake` after each build
# of the program: the files the program folder ships (FROM) go beside the
# executable (TO), which is the program folder of a run from the build
# folder. A project file already in TO/MirrorProjects is the user's own (the
# program saves its projects there) and is left as it is; every other file
# follows the source.
file(GLOB_RECURSE shipped RELATIVE "${FROM}" "${FROM}/*")
foreach(f IN LISTS shipped)
  if(f MATCHES "^MirrorProjects/" AND EXISTS "${TO}/${f}")
    continue()
  endif()
  get_filename_component(folder "${TO}/${f}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${FROM}/${f}" "${TO}/${f}" ONLY_IF_DIFFERENT)
endforeach()
