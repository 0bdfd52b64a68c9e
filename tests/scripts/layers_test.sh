#!/usr/bin/env bash
# The engine's folders are layers, each built on the ones below it only:
#
#   platform <- VRcomm <- FileOps, Ind2 <- Ind1 <- Velmoradb <- DLL_Comm <- dll_src
#
# (capi and the velmora tool are clients on top).  Every include line of a
# folder's files must name a header of the folder itself or of a layer below;
# the public headers (<velmora/...>) may be included anywhere.  The check runs
# on the tree, then on a copy with one wrong-way include planted, which it
# must refuse.
# Usage: layers_test.sh PROJECT_SOURCE_DIR
set -uo pipefail
root="${1:?usage: layers_test.sh PROJECT_SOURCE_DIR}"

# The folders each folder may include from (besides itself).
declare -A below=(
  [platform]=""
  [VRcomm]="platform"
  [FileOps]="VRcomm platform"
  [Ind2]="VRcomm platform"
  [Ind1]="Ind2 VRcomm platform"
  [Velmoradb]="Ind1 Ind2 FileOps VRcomm platform"
  [DLL_Comm]="Velmoradb Ind1 Ind2 FileOps VRcomm platform"
  [dll_src]="DLL_Comm Velmoradb Ind1 Ind2 FileOps VRcomm platform"
  [capi]=""
)

# check_tree SRC TOOL: prints each include from a higher (or unknown) layer
# and returns 1 when there is one.
check_tree() {
  local src="$1" tool="$2" bad=0 folder file line target
  for folder in "${!below[@]}"; do
    [ -d "$src/$folder" ] || { echo "missing folder: $src/$folder"; bad=1; continue; }
    while IFS= read -r -d '' file; do
      while IFS= read -r line; do
        target="${line#*\"}"
        target="${target%%\"*}"
        [[ "$target" == */* ]] || continue  # a header beside the file
        target="${target%%/*}"
        [ "$target" = "$folder" ] && continue
        if [[ " ${below[$folder]} " != *" $target "* ]]; then
          echo "${file#"$src"/}: $line (layer $folder may not include from $target)"
          bad=1
        fi
      done < <(grep -E '^\s*#\s*include\s*"' "$file")
    done < <(find "$src/$folder" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
  done
  # The tool reads the files the engine writes through VRcomm's shared facts only.
  while IFS= read -r -d '' file; do
    while IFS= read -r line; do
      target="${line#*\"}"
      target="${target%%\"*}"
      [[ "$target" == */* ]] || continue
      if [ "${target%%/*}" != VRcomm ]; then
        echo "${file#"$tool"/}: $line (the tool may include from VRcomm only)"
        bad=1
      fi
    done < <(grep -E '^\s*#\s*include\s*"' "$file")
  done < <(find "$tool" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
  return $bad
}

failures=0
if check_tree "$root/src" "$root/tools/velmora"; then
  echo "ok: no file includes a header from a higher layer"
else
  echo "FAIL: includes from a higher layer"
  failures=$((failures + 1))
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$root/src" "$work/src"
mkdir "$work/tool"
echo '#include "VRcomm/FieldTypes.h"' > "$work/src/Ind2/Planted.cpp"
echo '#include "Ind1/Index.h"' >> "$work/src/Ind2/Planted.cpp"
if out="$(check_tree "$work/src" "$work/tool")"; then
  echo "FAIL: a planted include of Ind1 from Ind2 was not refused"
  failures=$((failures + 1))
elif [ "$out" != 'Ind2/Planted.cpp: #include "Ind1/Index.h" (layer Ind2 may not include from Ind1)' ]; then
  echo "FAIL: the planted include was reported as [$out]"
  failures=$((failures + 1))
else
  echo "ok: a planted wrong-way include is refused"
fi
exit $((failures > 0))
