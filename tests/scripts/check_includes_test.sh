#!/usr/bin/env bash
# check_includes_test.sh CHECK: the include check passes a tree that keeps
# the layering and refuses each kind of breach, naming the file and line.
set -uo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# tree_with FILE TEXT: a fresh tree whose layers include only themselves,
# plus FILE holding TEXT.
tree_with() {
  rm -rf "$work/t" && mkdir -p "$work/t"/{kelvo,bases/host,bases/globals,boardlib,tool,sim}
  echo '#include "kelvo/kelvo.h"' >"$work/t/kelvo/kelvo_copy.cpp"
  printf '#include <cstdio>\n#include "bases/host/host.h"\n#include "bases/globals/globals.h"\n' \
    >"$work/t/bases/host/host.cpp"
  printf '#include "kelvo/kelvo.h"\n#include "bases/host/host.h"\n' >"$work/t/boardlib/dorn.cpp"
  printf '#include "boardlib/plov_status.h"\n#include "boardlib/plov_types.h"\n#include "boardlib/dorn_logic.h"\n' \
    >"$work/t/boardlib/dorn_port.cpp"
  printf '#include "boardlib/plov_port_intf.h"\n' >"$work/t/boardlib/dorn_selftest.cpp"
  printf '#include "boardlib/plov_status.h"\n#include "boardlib/plov_trans_intf.h"\n' >"$work/t/boardlib/plov_fpga_intf.cpp"
  echo '#include "boardlib/dorn.h"' >"$work/t/tool/quorbix.cpp"
  echo '#include "tool/quorbix.h"' >"$work/t/sim/sim_host.cpp"
  [ -n "$1" ] && printf '%s\n' "$2" >>"$work/t/$1"
}

# expect STATUS MESSAGE FILE TEXT
expect() {
  tree_with "$3" "$4"
  out=$("$check" "$work/t" 2>&1)
  status=$?
  if [ "$status" -ne "$1" ] || ! grep -qF -- "$2" <<<"$out"; then
    echo "FAILED: $3 with '$4': status $status, output: $out"
    failures=$((failures + 1))
  fi
}

expect 0 "" "" ""
expect 1 'boardlib/dorn.cpp:3: includes "sim/sim_host.h": product code includes sim/' \
  boardlib/dorn.cpp '#include "sim/sim_host.h"'
expect 1 'tool/quorbix.cpp:2: includes "tests/support/sim_fixture.h": product code includes tests/' \
  tool/quorbix.cpp '#  include <tests/support/sim_fixture.h>'
expect 1 'kelvo/kelvo_copy.cpp:2: includes "bases/host/host.h": above its layer' \
  kelvo/kelvo_copy.cpp '#include "bases/host/host.h"'
expect 1 'bases/host/host.cpp:4: includes "boardlib/plov_types.h": above its layer' \
  bases/host/host.cpp '#include "boardlib/plov_types.h"'
expect 1 'bases/host/host.cpp:4: includes "kelvo/kelvo.h": above its layer' \
  bases/host/host.cpp '#include "kelvo/kelvo.h"'
expect 1 'boardlib/dorn.cpp:3: includes "../sim/x.h": climbs out of its folder' \
  boardlib/dorn.cpp '#include "../sim/x.h"'
# The backends include of the board-independent headers only the bottom ones
# and the listed up-calls.
expect 1 'boardlib/dorn_port.cpp:4: includes "boardlib/plov_trans_intf.h": backend includes a board-independent header' \
  boardlib/dorn_port.cpp '#include "boardlib/plov_trans_intf.h"'
expect 1 'boardlib/kesp_intf.h:1: includes "boardlib/plov_port_intf.h": backend includes a board-independent header' \
  boardlib/kesp_intf.h '#include "boardlib/plov_port_intf.h"'
expect 1 'boardlib/dorn_selftest.cpp:2: includes "boardlib/plov_fpga_intf.h": backend includes a board-independent header' \
  boardlib/dorn_selftest.cpp '#include "boardlib/plov_fpga_intf.h"'
expect 0 "" boardlib/kesp_logic.h '#include "boardlib/plov_status.h"'
expect 0 "" boardlib/kesp_selftest.cpp '#include "boardlib/plov_check.h"'
# The simulated board and the tests may include what they need.
expect 0 "" sim/sim_host.cpp '#include "tests/support/x.h"'

[ "$failures" -eq 0 ] && echo "include check: all cases behave" || exit 1
