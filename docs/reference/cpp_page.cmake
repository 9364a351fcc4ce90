# cmake -DTEMPLATE=... -DMEMBERS=... -DSOURCE_DIR=... -DOUT=... -P cpp_page.cmake
# Writes the C++ control's page of the API reference: the member table and the headers a C++
# host includes, as they are installed.
file(READ ${MEMBERS} GRIDWELL_MEMBERS)
file(READ ${SOURCE_DIR}/control/gridwell.h GRIDWELL_CONTROL_H)
file(READ ${SOURCE_DIR}/control/gtk/gridwell_widget.h GRIDWELL_WIDGET_H)
file(READ ${SOURCE_DIR}/control/platform.h GRIDWELL_PLATFORM_H)
configure_file(${TEMPLATE} ${OUT} @ONLY)
