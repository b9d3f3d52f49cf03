# Fails when a source folder includes a header of a layer it may not use. Each layer may use
# only the layers below it: chain < analysis < run < (app, mpi) < (gui, cli, python); the
# window and the Python module do without mpi.
# Run as: cmake -DSOURCE_DIR=<src> -DSTAMP=<file> -P checklayers.cmake
cmake_policy(SET CMP0057 NEW)  # if(... IN_LIST ...)
set(allowed_chain "")
set(allowed_analysis chain)
set(allowed_run chain analysis)
set(allowed_app chain analysis run)
set(allowed_mpi chain analysis run)
set(allowed_gui chain analysis run app)
set(allowed_cli chain analysis run app mpi)
set(allowed_python chain analysis run app)
set(layers chain analysis run app mpi gui cli python)

set(violations "")
foreach(layer ${layers})
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[a-z]+/")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([a-z]+)/.*" "\\1" used "${line}")
      if(NOT used STREQUAL layer AND used IN_LIST layers AND NOT used IN_LIST allowed_${layer})
        file(RELATIVE_PATH where ${SOURCE_DIR} ${file})
        string(APPEND violations "  ${where} includes ${used}/, which ${layer}/ may not use\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "Layer boundary crossed (each layer uses only those below it):\n"
                      "${violations}")
endif()
file(TOUCH ${STAMP})
