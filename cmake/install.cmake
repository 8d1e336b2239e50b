# Where `make install` (cmake --install) puts things: the program and its man
# page the usual way, the simulated room where ALSA keeps its plugins, and an
# example configuration that loads the installed plugin by its full path.
include(GNUInstallDirs)

# Empty means: ALSA's own plugin folder when it lies under the prefix (so
# ALSA finds the plugin by type name), else <libdir>/alsa-lib under the prefix.
set(TONVALE_ALSA_PLUGIN_DIR "" CACHE PATH
    "Folder for the simulated room's ALSA plugin; relative paths are under the prefix")
set(tonvale_plugin_dir "${TONVALE_ALSA_PLUGIN_DIR}")
if(tonvale_plugin_dir STREQUAL "")
  pkg_get_variable(ALSA_LIBDIR alsa libdir)
  cmake_path(IS_PREFIX CMAKE_INSTALL_PREFIX "${ALSA_LIBDIR}" NORMALIZE alsa_under_prefix)
  if(ALSA_LIBDIR AND alsa_under_prefix)
    file(RELATIVE_PATH tonvale_plugin_dir "${CMAKE_INSTALL_PREFIX}" "${ALSA_LIBDIR}/alsa-lib")
  else()
    set(tonvale_plugin_dir "${CMAKE_INSTALL_LIBDIR}/alsa-lib")
  endif()
endif()
# For the install check in tests/.
set(TONVALE_RESOLVED_PLUGIN_DIR "${tonvale_plugin_dir}")

install(TARGETS tonvale RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES docs/tonvale.1 DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(TARGETS simroom LIBRARY DESTINATION "${tonvale_plugin_dir}")

# The configuration names the plugin by its installed path, which is only
# known at install time (cmake --install --prefix may change it).
install(CODE "set(tonvale_plugin_dir \"${tonvale_plugin_dir}\")
set(tonvale_conf_in \"${CMAKE_CURRENT_SOURCE_DIR}/simroom/demo.conf.in\")
set(tonvale_conf_out \"${CMAKE_CURRENT_BINARY_DIR}/simroom-demo.conf\")
set(tonvale_datadir \"${CMAKE_INSTALL_DATADIR}\")")
install(CODE [[
  if(IS_ABSOLUTE "${tonvale_plugin_dir}")
    set(plugin "${tonvale_plugin_dir}/libasound_module_pcm_simroom.so")
  else()
    set(plugin "${CMAKE_INSTALL_PREFIX}/${tonvale_plugin_dir}/libasound_module_pcm_simroom.so")
  endif()
  file(READ "${tonvale_conf_in}" text)
  string(REPLACE "@SIMROOM_PLUGIN@" "${plugin}" text "${text}")
  file(WRITE "${tonvale_conf_out}" "${text}")
  file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${tonvale_datadir}/tonvale"
       TYPE FILE FILES "${tonvale_conf_out}")
]])
