#!/bin/sh
# Function coverage of src/ by the test suite: builds the tests with gcc's --coverage
# into build/cov (no sanitizers, bounds checks on, no optimisation, so that no function
# is inlined away from its counters), runs them and prints the percentage, with every
# function no test executed. Usage: scripts/coverage.sh [jobs]
set -e
JOBS=${1:-4}
cd "$(dirname "$0")/.."
# -u __gcov_dump links the coverage runtime's dump, which the death tests call before
# they abort (an abort skips the exit that writes the counters).
cmake -S . -B build/cov -DCMAKE_BUILD_TYPE=Debug -DQUENDAL_BUILD_TESTS=ON \
  "-DCMAKE_CXX_FLAGS=--coverage -O0 -DQUENDAL_CHECK_BOUNDS" \
  "-DCMAKE_EXE_LINKER_FLAGS=--coverage -Wl,-u,__gcov_dump" >/dev/null
cmake --build build/cov -j "$JOBS" >/dev/null
find build/cov -name '*.gcda' -delete
(cd build/cov && ctest -j "$JOBS" --timeout 600 --output-on-failure >/dev/null) || {
  echo "tests failed: see build/cov/Testing/Temporary/LastTest.log" >&2
  exit 1
}
python3 scripts/function_coverage.py build/cov . --list
