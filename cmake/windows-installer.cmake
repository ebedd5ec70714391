# The Windows installer, bin/quorbin_sync.msi, built with Debian's wixl
# (msitools) from packaging/windows/quorbin_sync.wxs around the executable of
# this build; its production API host is this build's QUORBIN_API_HOST.
find_program(QUORBIN_WIXL wixl)
if(NOT QUORBIN_WIXL)
  message(STATUS "wixl not found: no Windows installer")
  return()
endif()
set(QUORBIN_WXS ${PROJECT_SOURCE_DIR}/packaging/windows/quorbin_sync.wxs)
set(QUORBIN_MSI ${CMAKE_BINARY_DIR}/bin/quorbin_sync.msi)
add_custom_command(
  OUTPUT ${QUORBIN_MSI}
  # wixl finds a source file by a name relative to its working folder only.
  COMMAND ${QUORBIN_WIXL} -a x64 -D Version=${PROJECT_VERSION} -D ApiHost=${QUORBIN_API_HOST}
          -D Executable=$<TARGET_FILE_NAME:quorbin_sync> -o ${QUORBIN_MSI} ${QUORBIN_WXS}
  WORKING_DIRECTORY $<TARGET_FILE_DIR:quorbin_sync>
  DEPENDS quorbin_sync ${QUORBIN_WXS}
  COMMENT "Building the Windows installer quorbin_sync.msi"
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${QUORBIN_MSI})
