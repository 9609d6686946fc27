# Removes the files that `cmake --install` listed in MANIFEST (the build's
# install_manifest.txt), under $DESTDIR when it is set. Directories are left:
# bin and share/man/man1 of a prefix hold other programs' files too.
#
#   cmake -DMANIFEST=BUILD/install_manifest.txt -P uninstall.cmake
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "${MANIFEST} not found: nothing has been installed from this build")
endif()
file(STRINGS "${MANIFEST}" files)
foreach(f IN LISTS files)
  set(f "$ENV{DESTDIR}${f}")
  if(IS_SYMLINK "${f}" OR EXISTS "${f}")
    file(REMOVE "${f}")
    if(IS_SYMLINK "${f}" OR EXISTS "${f}")
      message(FATAL_ERROR "could not remove ${f}")
    endif()
    message(STATUS "Removed: ${f}")
  else()
    message(STATUS "Not there: ${f}")
  endif()
endforeach()
