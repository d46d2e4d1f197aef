#!/usr/bin/env bash
# run_tests_test.sh RUN_TESTS: scripts/run-tests, with stand-ins for the
# builds and the programs it runs, leaves build/ as its user configured it
# (the warnings-as-errors builds go elsewhere), runs the example under
# valgrind's memcheck, and where valgrind is missing fails with one line
# naming the package.
set -uo pipefail
script=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# A tree holding run-tests, its helper scripts standing in (they pass), and
# a user's build/ configured without warnings as errors.
tree=$work/tree
mkdir -p "$tree/scripts" "$tree/build"
cp "$script" "$tree/scripts/run-tests"
for s in check-includes clang-syntax run-fuzz; do
  printf '#!/bin/sh\nexit 0\n' >"$tree/scripts/$s"
  chmod +x "$tree/scripts/$s"
done
printf 'QUORBIX_WERROR:BOOL=OFF\n' >"$tree/build/CMakeCache.txt"

# cmake and ctest stand-ins: every call is noted; a build makes the
# directory's programs, quorbix-sim printing the example's lines.
bin=$work/bin
mkdir -p "$bin"
cat >"$bin/cmake" <<'EOF'
#!/usr/bin/env bash
echo "cmake $*" >>"$QUORBIX_STUB_LOG"
while [ $# -gt 0 ]; do
  case $1 in
    -B) mkdir -p "$2" && echo "configured: $*" >>"$2/CMakeCache.txt"; shift ;;
    --build)
      mkdir -p "$2/tests"
      printf '#!/bin/sh\nprintf "version : ver 1\\nLink detected : yes\\n"\n' >"$2/quorbix-sim"
      chmod +x "$2/quorbix-sim"
      shift ;;
  esac
  shift
done
EOF
printf '#!/bin/sh\necho "ctest $*" >>"$QUORBIX_STUB_LOG"\n' >"$bin/ctest"
# valgrind's stand-in runs the program after its options, noting them.
cat >"$bin/valgrind" <<'EOF'
#!/usr/bin/env bash
echo "valgrind $*" >>"$QUORBIX_STUB_LOG"
while [ "${1#-}" != "$1" ]; do shift; done
exec "$@"
EOF
chmod +x "$bin"/*

# The machine's own programs, valgrind left out, for the run without it.
plain=$work/plain
mkdir -p "$plain"
for dir in ${PATH//:/ }; do
  for p in "$dir"/*; do
    name=${p##*/}
    [ -x "$p" ] && [ "$name" != valgrind ] && [ ! -e "$plain/$name" ] && ln -s "$p" "$plain/$name"
  done
done

export QUORBIX_STUB_LOG=$work/log
out=$(PATH="$bin:$plain" QUORBIX_JOBS=2 "$tree/scripts/run-tests" 2>&1)
status=$?
[ "$status" -eq 0 ] || fail "run-tests: status $status, output: $out"
[ "$(cat "$tree/build/CMakeCache.txt")" = "QUORBIX_WERROR:BOOL=OFF" ] ||
  fail "build/ was reconfigured: $(cat "$tree/build/CMakeCache.txt")"
grep -E -- '(-B|--build) build( |$)' "$work/log" && fail "run-tests configured or built build/"
grep -q -- '-B build-default .*-DQUORBIX_WERROR=ON' "$work/log" ||
  fail "no warnings-as-errors default build in build-default/: $(cat "$work/log")"
grep -q -- '^valgrind .*--error-exitcode=[1-9][0-9]* .*build-default/quorbix-sim .*-- -v -m port/k/0:1$' "$work/log" ||
  fail "the example did not run under memcheck: $(cat "$work/log")"

rm -f "$work/log"
rm "$bin/valgrind"
out=$(PATH="$bin:$plain" QUORBIX_JOBS=2 "$tree/scripts/run-tests" 2>&1)
status=$?
[ "$status" -ne 0 ] || fail "run-tests passed without valgrind"
[ "$(grep -c 'valgrind' <<<"$out")" -eq 1 ] && grep -qx 'valgrind not found: install valgrind' <<<"$out" ||
  fail "without valgrind: $out"
grep -q 'Release build' <<<"$out" && fail "a leg ran after the missing valgrind: $out"

[ "$failures" -eq 0 ] && echo "run-tests: all cases passed"
exit $((failures > 0))
