# The tests the Windows build runs (under Wine in CI), and those it leaves out with the reason.
set(ORV_WINDOWS_TEST_DIRS platform base account diagnosis download update)

set(ORV_WINDOWS_TESTS
  test_platform_profile
  test_platform_text
  test_platform_registry
  test_base_inifile
  test_base_helpers
  test_account_credentials)

# Left out, with the reason:
#   test_platform_process      spawns shell scripts and xdg-open
#   test_platform_orvreg       reads the Linux store's files behind orvreg's back
#   test_download_qt, test_update_orvlift*, tests/ui, tests/controls, tests/e2e
#                              Qt programs: not part of the Windows build
#   account_sim_login          tests the Python stand-in itself (runs on Linux)
