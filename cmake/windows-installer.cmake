# The Windows installer, built with Debian's wixl (msitools) from
# packaging/windows/quorbin_sync.wxs around the executable of this build:
# bin/quorbin_sync-x64.msi for the 64-bit build, bin/quorbin_sync-x86.msi for the
# 32-bit one. Its production API host is this build's QUORBIN_API_HOST.
find_program(QUORBIN_WIXL wixl)
if(NOT QUORBIN_WIXL)
  message(STATUS "wixl not found: no Windows installer")
  return()
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QUORBIN_MSI_ARCH x64)
else()
  set(QUORBIN_MSI_ARCH x86)
endif()
set(QUORBIN_WXS ${PROJECT_SOURCE_DIR}/packaging/windows/quorbin_sync.wxs)
set(QUORBIN_MSI_NAME quorbin_sync-${QUORBIN_MSI_ARCH}.msi)
set(QUORBIN_MSI ${CMAKE_BINARY_DIR}/bin/${QUORBIN_MSI_NAME})
add_custom_command(
  OUTPUT ${QUORBIN_MSI}
  # wixl finds a source file by a name relative to its working folder only.
  COMMAND ${QUORBIN_WIXL} -a ${QUORBIN_MSI_ARCH} -D Version=${PROJECT_VERSION}
          -D ApiHost=${QUORBIN_API_HOST} -D Executable=$<TARGET_FILE_NAME:quorbin_sync>
          -o ${QUORBIN_MSI} ${QUORBIN_WXS}
  WORKING_DIRECTORY $<TARGET_FILE_DIR:quorbin_sync>
  DEPENDS quorbin_sync ${QUORBIN_WXS}
  COMMENT "Building the Windows installer ${QUORBIN_MSI_NAME}"
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${QUORBIN_MSI})
