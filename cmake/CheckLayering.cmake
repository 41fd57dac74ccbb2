# Fails when a source file includes a header its layer must not see. Run at configure time
# and again on every build, so a forbidden include breaks the build where it is written.
#   cmake -DSOURCE_DIR=<src> [-DSTAMP=<file>] -P CheckLayering.cmake

set(toolkit "gtk/|gtkmm|gdk/|gdkmm|glib|gio/|giomm|webkit/|jsc/|libsoup/|adwaita|sigc\\+\\+|cairo")

# Each layer as a folder pattern (relative to src) and the includes it must not use.
set(layers base core interfaces engine_webkit platform_linux ui)
set(base_files "^core/base/")
set(base_forbidden "^(core/[a-z]+/|engine/|platform/|ui/|app/|${toolkit})")
set(base_allowed "^core/base/")
set(core_files "^core/")
set(core_forbidden "^(engine/webkit/|platform/linux/|ui/|app/|${toolkit})")
set(interfaces_files "^(engine|platform)/[^/]+$")
set(interfaces_forbidden "^(core/|engine/webkit/|platform/linux/|ui/|app/|${toolkit})")
set(interfaces_allowed "^core/base/")
set(engine_webkit_files "^engine/webkit/")
set(engine_webkit_forbidden "^(platform/linux/|ui/|app/)")
set(platform_linux_files "^platform/linux/")
set(platform_linux_forbidden "^(engine/webkit/|ui/|app/)")
set(ui_files "^ui/")
set(ui_forbidden "^(engine/webkit/|app/)")

file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
set(violations "")
foreach(source IN LISTS sources)
  file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]*)[>\"].*$" "\\1" header "${line}")
    foreach(layer IN LISTS layers)
      if(NOT source MATCHES "${${layer}_files}")
        continue()
      endif()
      if(header MATCHES "${${layer}_forbidden}" AND
         NOT (DEFINED ${layer}_allowed AND header MATCHES "${${layer}_allowed}"))
        string(APPEND violations "  src/${source}: ${header} (layer ${layer})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "Forbidden includes across layers:\n${violations}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
