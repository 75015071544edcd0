# The version is written once, in project() at the top of the tree. The
# programs read it from a generated header:
#   #include "VelkorVersion.h"   // VELKOR_VERSION, e.g. "1.0.1.4"
# which a target gets by linking velkor_version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/VelkorVersion.h.in
               ${PROJECT_BINARY_DIR}/generated/VelkorVersion.h @ONLY)
add_library(velkor_version INTERFACE)
target_include_directories(velkor_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
