# Installs a build under a made-up prefix into DEST, as `make install
# DESTDIR=...` does, and checks that each file is where tonvale(1) says.
set(prefix "/opt/tonvale-check")
file(REMOVE_RECURSE "${DEST}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${DEST} ${CMAKE_COMMAND} --install ${BUILD_DIR}
          --prefix ${prefix}
  RESULT_VARIABLE status OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${log}")
endif()

if(IS_ABSOLUTE "${PLUGIN_DIR}")
  set(plugin "${PLUGIN_DIR}/libasound_module_pcm_simroom.so")
else()
  set(plugin "${prefix}/${PLUGIN_DIR}/libasound_module_pcm_simroom.so")
endif()
set(conf "${DEST}${prefix}/${DATADIR}/tonvale/simroom-demo.conf")
foreach(file "${prefix}/bin/tonvale" "${prefix}/${MANDIR}/man1/tonvale.1" "${plugin}")
  if(NOT EXISTS "${DEST}${file}")
    message(FATAL_ERROR "not installed: ${file}\n${log}")
  endif()
endforeach()
file(READ "${conf}" text)
string(FIND "${text}" "lib \"${plugin}\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${conf} does not load the installed plugin ${plugin}:\n${text}")
endif()
file(REMOVE_RECURSE "${DEST}")
