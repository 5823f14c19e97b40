#!/bin/sh
# The install as a user meets it: into a temporary prefix, used from another folder. The
# programs answer --version with the build's version, the engine started with no world
# opens the installed sample world (and says so first) and plays its demo as the build
# tree's engine does, the world builder remakes the installed world, the desktop entry
# is valid, the icon is a 64 x 64 PNG and every manual page renders without warnings.
# Usage: check_install.sh BUILD_DIR SOURCE_DIR VERSION
set -u
build=$1 source=$2 version=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
tmp=$(cd "$tmp" && pwd -P)
prefix=$tmp/prefix
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log" >&2; fail "cmake --install"; exit 1; }

world=$prefix/share/portal-engine/worlds/sample
for file in bin/portal-engine bin/portal-world-builder bin/portal-record-demo \
    share/portal-engine/worlds/sample/map.m share/portal-engine/worlds/sample/game.ini \
    share/portal-engine/worlds/sample/demo.dem share/applications/portal-engine.desktop \
    share/icons/hicolor/64x64/apps/portal-engine.png share/doc/portal-engine/README.md \
    share/doc/portal-engine/LICENSE share/man/man1/portal-engine.1 \
    share/man/man1/portal-world-builder.1 share/man/man1/portal-record-demo.1; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done

for program in portal-engine portal-world-builder portal-record-demo; do
  answer=$("$prefix/bin/$program" --version 2>&1)
  [ "$answer" = "$program $version" ] || fail "$program --version says '$answer', not '$program $version'"
done

# From an empty folder, no world named: the installed one, the same walk as in the build.
mkdir "$tmp/elsewhere"
cd "$tmp/elsewhere"
export SDL_VIDEODRIVER=offscreen
if "$prefix/bin/portal-engine" --headless --frames 120 --demo "$world/demo.dem" >"$tmp/out" 2>"$tmp/err"; then
  first=$(head -n 1 "$tmp/err")
  [ "$first" = "No map.m in this folder: opening the sample world $world" ] || fail "first line: '$first'"
  expected=$("$build/portal-engine" --headless --frames 120 --demo "$source/worlds/sample/demo.dem" \
    "$source/worlds/sample" 2>/dev/null)
  [ "$(cat "$tmp/out")" = "$expected" ] || fail "installed walk ended '$(cat "$tmp/out")', the build's '$expected'"
else
  fail "the installed engine failed: $(cat "$tmp/err")"
fi
# A folder named explicitly is still the one opened, world or not.
"$prefix/bin/portal-engine" --headless --frames 5 "$tmp/elsewhere" >/dev/null 2>"$tmp/err" &&
  fail "an explicit folder without map.m was run"
grep -q "map.m" "$tmp/err" || fail "no map.m message for an explicit folder: $(cat "$tmp/err")"

"$prefix/bin/portal-world-builder" "$world/world.txt" "$tmp/rebuilt" >"$tmp/err" 2>&1 || fail "world builder: $(cat "$tmp/err")"
cmp -s "$tmp/rebuilt/map.m" "$world/map.m" || fail "the installed world builder makes another map.m"

desktop-file-validate "$prefix/share/applications/portal-engine.desktop" >"$tmp/err" 2>&1 ||
  fail "desktop entry: $(cat "$tmp/err")"
grep -qx "Icon=portal-engine" "$prefix/share/applications/portal-engine.desktop" || fail "desktop entry names no icon"

# PNG signature, then the IHDR's width and height, big-endian.
header=$(od -An -tx1 -N24 "$prefix/share/icons/hicolor/64x64/apps/portal-engine.png" | tr -d ' \n')
[ "$header" = "89504e470d0a1a0a0000000d4948445200000040""00000040" ] || fail "the icon is not a 64 x 64 PNG: $header"

for program in portal-engine portal-world-builder portal-record-demo; do
  page=$prefix/share/man/man1/$program.1
  MANWIDTH=80 MANPAGER=cat man --warnings -l "$page" >"$tmp/man" 2>"$tmp/err" || fail "man -l $program.1 failed"
  [ -s "$tmp/err" ] && fail "man -l $program.1 warns: $(cat "$tmp/err")"
  grep -q "^NAME" "$tmp/man" && grep -q "^SYNOPSIS" "$tmp/man" || fail "$program.1 lacks NAME or SYNOPSIS"
  grep -q -- "--version" "$tmp/man" || fail "$program.1 does not list --version"
  grep -q "$program" "$tmp/man" || fail "$program.1 does not name $program"
done

[ "$failures" -eq 0 ] || { echo "$failures install checks failed" >&2; exit 1; }
echo "install into $prefix checked"
