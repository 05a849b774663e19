# Stands in for the tests that a build without GoogleTest leaves out.
message(FATAL_ERROR
  "GoogleTest was not found when this build was configured, so the unit and "
  "end-to-end tests were not built. Install it (Debian: apt-get install "
  "libgtest-dev) and configure again (cmake -B build).")
