# The files the program folder ships with, kept under share/ (for now the
# "MirrorProjects" folder with the first-run project and the new-project
# template, both made by the program's own writer: see
# tests/model/shippedprojects_test.cpp). An executable that runs from its
# build folder gets them beside it after every build (a project saved there
# is kept, see ShipProgramFiles.cmake); an install puts them
# in the data folder (<prefix>/share/quendravilos), from which the program
# copies what the user's program folder lacks at start-up.
set(QV_PROGRAM_FILES_DIR ${CMAKE_SOURCE_DIR}/share)

function(qv_ship_program_files target)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DFROM=${QV_PROGRAM_FILES_DIR} -DTO=$<TARGET_FILE_DIR:${target}>
      -P ${CMAKE_SOURCE_DIR}/cmake/ShipProgramFiles.cmake
    COMMENT "Program folder files beside ${target}")
  install(DIRECTORY ${QV_PROGRAM_FILES_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quendravilos)
endfunction()
