#!/bin/sh
# The one-way include order of the README's Layout: every #include "..." of src/ and
# tools/ must name a file of its own folder or of a folder listed for it below. The
# table has no circle, so neither has the tree. Prints each include that breaks it.
# Usage: check-layout.sh [SOURCE_DIR]
cd "${1:-.}" || exit 2

# Folder: the folders it may include, lower layers only.
allowed() {
  case "$1" in
    src/files) echo "" ;;
    src/platform) echo "src/files" ;;
    src/image|src/model3ds) echo "src/files" ;;
    src/world) echo "src/image src/model3ds src/files" ;;
    src/input) echo "src/world src/image src/model3ds src/platform src/files" ;;
    # The frame loop runs the control step and reads the camera: render sits above input.
    src/render) echo "src/input src/world src/image src/model3ds src/platform src/files" ;;
    src/app) echo "src/render src/input src/world src/image src/model3ds src/platform src/files" ;;
    tools/assets) echo "" ;;
    tools/worldbuild) echo "tools/assets src/world src/image src/model3ds src/files" ;;
    tools) echo "tools/worldbuild tools/assets src/app src/render src/input src/world src/image src/model3ds src/platform src/files" ;;
    *) echo "?" ;;
  esac
}

# Where an include names: its folder, searched as the build's include paths are.
target_folder() {
  for root in "$2" src tools tests; do
    if [ -f "$root/$1" ]; then dirname "$root/$1" | sed 's|/\./|/|; s|^\./||'; return; fi
  done
}

status=0
for file in $(find src tools -name '*.cpp' -o -name '*.h' | sort); do
  folder=$(dirname "$file")
  permitted=$(allowed "$folder")
  if [ "$permitted" = "?" ]; then
    echo "$file: folder $folder has no place in the include order"; status=1; continue
  fi
  for name in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
    to=$(target_folder "$name" "$folder")
    [ -z "$to" ] && continue  # generated (app/version.h) or a system header
    [ "$to" = "$folder" ] && continue
    case " $permitted " in
      *" $to "*) ;;
      *) echo "$file: includes $name ($to), which $folder may not use"; status=1 ;;
    esac
  done
done
[ $status -eq 0 ] && echo "include order: every include of src/ and tools/ follows the layers"
exit $status
