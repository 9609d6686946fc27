# `cmake --install BUILD_DIR --prefix PREFIX` gives PREFIX/bin/lsf2ascii and
# PREFIX/share/man/man1/lsf2ascii.1 and nothing else, the installed program
# converts the shipped example byte for byte, and the uninstall target takes
# both files away again. The build's install_manifest.txt, which this install
# overwrites, is put back as it was, so that the uninstall target still
# removes what the user installed.
#
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... [-DCONFIG=...] -P install_check.cmake
foreach(v BUILD_DIR SOURCE_DIR WORK_DIR)
  if(NOT ${v})
    message(FATAL_ERROR "${v} not given")
  endif()
endforeach()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

set(manifest ${BUILD_DIR}/install_manifest.txt)
set(saved_manifest ${WORK_DIR}/install_manifest.saved)
if(EXISTS ${manifest})
  file(COPY_FILE ${manifest} ${saved_manifest})
endif()
macro(restore_manifest)
  if(EXISTS ${saved_manifest})
    file(COPY_FILE ${saved_manifest} ${manifest})
  else()
    file(REMOVE ${manifest})
  endif()
endmacro()
macro(fail text)
  restore_manifest()
  message(FATAL_ERROR "${text}")
endmacro()

set(config)
if(CONFIG)
  set(config --config ${CONFIG})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} ${config}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  fail("cmake --install failed (${rc}):\n${out}")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE ${prefix} ${prefix}/*)
list(SORT installed)
set(expected bin/lsf2ascii share/man/man1/lsf2ascii.1)
if(NOT installed STREQUAL expected)
  fail("installed files: '${installed}', expected: '${expected}'")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SOURCE_DIR}/lsf2ascii.1 ${prefix}/share/man/man1/lsf2ascii.1
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  fail("installed manual page differs from lsf2ascii.1")
endif()

set(run ${WORK_DIR}/run)
file(MAKE_DIRECTORY ${run})
file(COPY ${SOURCE_DIR}/examples/lsf DESTINATION ${run})
execute_process(COMMAND ${prefix}/bin/lsf2ascii WORKING_DIRECTORY ${run}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 2)
  fail("installed lsf2ascii exited with '${rc}', not 2:\n${err}")
endif()
if(NOT err MATCHES "^lsf2ascii: statement 18, unit 10, file lsf\n")
  fail("installed lsf2ascii did not end at the end of the input:\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${run}/FORCINGS_ASCII_lsf ${SOURCE_DIR}/examples/FORCINGS_ASCII_lsf
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  fail("installed lsf2ascii's output differs from examples/FORCINGS_ASCII_lsf")
endif()

# The uninstall target removes the two files, as the manifest lists them.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target uninstall ${config}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  fail("the uninstall target failed (${rc}):\n${out}")
endif()
file(GLOB_RECURSE left LIST_DIRECTORIES false RELATIVE ${prefix} ${prefix}/*)
if(left)
  fail("files left after the uninstall target: '${left}'")
endif()

restore_manifest()
file(REMOVE_RECURSE ${WORK_DIR})
