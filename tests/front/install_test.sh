#!/usr/bin/env bash
# Installs libnolmak from the build folder into a scratch prefix, builds the README's
# C program against that copy twice (pkg-config and the CMake package), and runs
# both and the installed nolmak tool against two cameras in a lab.
#
#   install_test.sh BUILD_DIR SOURCE_DIR C_COMPILER LAB_SCRIPT CAMSIM [SANITIZE_FLAGS]
set -euo pipefail
build=$1 source=$2 cc=$3 lab=$4 camsim=$5 sanitize=${6:-}

work=$(mktemp -d "${TMPDIR:-/tmp}/nolmak-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "install_test: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" --component nolmak >/dev/null
for f in include/nolmak/nolmak.h include/nolmak/Nolmak.hpp include/nolmak/nolmak_types.h bin/nolmak; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
libdir=$(dirname "$(find "$prefix" -name 'libnolmak.so.1' | head -n 1)")
[ -n "$libdir" ] && [ -L "$libdir/libnolmak.so" ] || fail "libnolmak.so and its SONAME link not installed"
[ -f "$libdir/pkgconfig/nolmak.pc" ] || fail "pkg-config file not installed"
[ -f "$libdir/cmake/Nolmak/NolmakConfig.cmake" ] || fail "CMake package not installed"
soname=$(objdump -p "$libdir/libnolmak.so" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = "libnolmak.so.1" ] || fail "SONAME is '$soname'"

example=$source/tests/front/install_consumer/readme_example.c
# pkg-config, with the flags a user would take from it.
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs nolmak)
# shellcheck disable=SC2086
"$cc" -std=c11 -Wall -Wextra -Werror $sanitize "$example" $flags -Wl,-rpath,"$libdir" -o "$work/example_pc"

# The CMake package.
cmake -S "$source/tests/front/install_consumer" -B "$work/consumer" -G Ninja \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitize" >/dev/null
cmake --build "$work/consumer" >/dev/null

# Two cameras, the second without applications; camsim runs in its own namespace.
cat >"$work/run.sh" <<RUN
set -e
"$work/example_pc" | sort >"$work/pc.out"
"$work/consumer/readme_example" "\$LAB_PC_IP" | sort >"$work/cmake.out"
"$prefix/bin/nolmak" discover --local-ip "\$LAB_PC_IP" >"$work/tool.out"
RUN
"$lab" --camsim "$camsim" --cameras 2 --set 2.apps= -- bash "$work/run.sh" || fail "the lab run failed"

expected=$'198.18.1.10  00:50:C2:52:01:0A  KORDEX-001\n198.18.1.11  00:50:C2:52:01:0B  KORDEX-002'
[ "$(cat "$work/pc.out")" = "$expected" ] || fail "pkg-config build printed: $(cat "$work/pc.out")"
[ "$(cat "$work/cmake.out")" = "$expected" ] || fail "CMake build printed: $(cat "$work/cmake.out")"
grep -q "^- discovery complete: found 2 devices$" "$work/tool.out" || fail "nolmak tool printed: $(cat "$work/tool.out")"
echo "install_test: installed copy works"
