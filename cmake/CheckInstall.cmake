# Installs the build into a scratch prefix and checks what a desktop needs:
#   cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${rc}")
endif()

foreach(f bin/vistrel bin/p3dtool bin/vistrel-thumbnailer
          share/thumbnailers/vistrel.thumbnailer
          share/applications/vistrel.desktop
          share/mime/packages/vistrel-p3d.xml
          share/icons/hicolor/scalable/apps/vistrel.svg)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

file(READ "${PREFIX}/share/applications/vistrel.desktop" desktop)
foreach(line "Type=Application" "Name=Vistrel" "Exec=vistrel %f" "Icon=vistrel"
             "MimeType=model/x-vistrel-p3d;image/x-vistrel-paa;")
  string(FIND "${desktop}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "vistrel.desktop lacks \"${line}\"")
  endif()
endforeach()
string(REGEX MATCH "Categories=[^\n]*" categories "${desktop}")
if(NOT categories MATCHES "Graphics;" OR NOT categories MATCHES "3DGraphics;")
  message(FATAL_ERROR "vistrel.desktop categories: ${categories}")
endif()
string(REGEX MATCH "Comment=[^\n]+" comment "${desktop}")
if(NOT comment)
  message(FATAL_ERROR "vistrel.desktop has no comment")
endif()

# The file managers' previews: a thumbnailer entry for our MIME types.
file(STRINGS "${PREFIX}/share/thumbnailers/vistrel.thumbnailer" thumbnailer)
foreach(line "[Thumbnailer Entry]" "TryExec=vistrel-thumbnailer" "Exec=vistrel-thumbnailer -s %s %i %o"
             "MimeType=model/x-vistrel-p3d;image/x-vistrel-paa;")
  list(FIND thumbnailer "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "vistrel.thumbnailer lacks \"${line}\"")
  endif()
endforeach()

file(READ "${PREFIX}/share/mime/packages/vistrel-p3d.xml" mime)
foreach(part "type=\"model/x-vistrel-p3d\"" "pattern=\"*.p3d\"" "value=\"BMDL\"" "value=\"MLOD\"" "offset=\"0\"")
  string(FIND "${mime}" "${part}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the MIME type lacks ${part}")
  endif()
endforeach()

file(READ "${PREFIX}/share/icons/hicolor/scalable/apps/vistrel.svg" icon)
string(FIND "${icon}" "<svg" at)
if(at LESS 0)
  message(FATAL_ERROR "the icon is not an SVG")
endif()
message(STATUS "installed files check out in ${PREFIX}")
