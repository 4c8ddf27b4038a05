# Where the Qt that the build links lives on disk: ZAVELO_QT_BIN_DIR (its DLLs on Windows) and
# ZAVELO_QT_PLUGIN_DIR (its plug-ins). The Windows package copies from there; the tests under
# Wine load from there.
get_target_property(_zavelo_qtcore_location Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT _zavelo_qtcore_location)
  get_target_property(_zavelo_qtcore_location Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(ZAVELO_QT_BIN_DIR ${_zavelo_qtcore_location} DIRECTORY)
get_filename_component(ZAVELO_QT_PLUGIN_DIR ${ZAVELO_QT_BIN_DIR}/../plugins ABSOLUTE)
