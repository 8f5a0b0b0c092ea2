# CPack's External generator: the installer Orvanta_setup.exe of the project version, made by
# scripts/release.sh from the build's program directory into the package folder.
execute_process(
  COMMAND bash ${ORV_SOURCE_DIR}/scripts/release.sh ${CPACK_PACKAGE_VERSION} ${CPACK_PACKAGE_DIRECTORY}
          --bin ${ORV_BIN_DIR}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "scripts/release.sh failed (${result})")
endif()
