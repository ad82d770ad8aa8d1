# Installs the build into a scratch folder and checks that a desktop finds
# everything it needs there: both programs, the menu entry, the icon and the
# two file types.
file(REMOVE_RECURSE "${DEST}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${DEST}" "${CMAKE_COMMAND}" --install "${BUILD}" --prefix /usr
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/reelwork bin/reelwork-cli share/applications/reelwork.desktop
             share/icons/hicolor/scalable/apps/reelwork.svg share/mime/packages/reelwork.xml)
  if(NOT EXISTS "${DEST}/usr/${path}")
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(READ "${DEST}/usr/share/applications/reelwork.desktop" entry)
foreach(line "Exec=reelwork %f" "Icon=reelwork" "MimeType=text/x-avisynth;text/x-dvd2avi-project;")
  string(FIND "${entry}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
file(READ "${DEST}/usr/share/mime/packages/reelwork.xml" types)
foreach(glob "*.avs" "*.d2v")
  string(FIND "${types}" "pattern=\"${glob}\"" at)
  if(at LESS 0)
    message(FATAL_ERROR "no file type for ${glob}")
  endif()
endforeach()
