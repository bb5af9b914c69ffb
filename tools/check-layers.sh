#!/usr/bin/env bash
# Fails when an include goes against the direction of the layers:
#   app -> ui (Qt) or win32ui -> window -> settings, patch;  patch -> servers -> net;
#   patch -> delta -> trust;
#   everything -> log -> platform
# when Qt is included anywhere but the Qt window (ui/: the window, its
# settings dialog and message box), start-up and the tools with a window
# (settings/ holds the record, the file and the form alone, so the window's
# shared part and win32ui/ use it from above), or when a header shares its
# name with a source of another layer (any tool that pairs files by name
# would read them as one); and when a function in patch/ runs over 60 lines
# (tools/check-functions.py). A subfolder belongs to its folder's layer
# (platform/posix/, platform/win32/); the two toolkits' windows, ui/ and
# win32ui/, are one layer built either way. Prints one line per folder: the
# modules it includes, then the verdict.
set -euo pipefail
cd "$(dirname "$0")/.."

# What each folder may include, besides itself (the closure of the arrows).
declare -A allowed=(
  [platform]=""
  [log]="platform"
  [trust]="platform"
  [delta]="trust platform"
  [net]=""
  [servers]="net log platform"
  [patch]="servers net delta trust log platform"
  [settings]="log platform"
  [window]="settings patch servers net delta trust log platform"
  [ui]="window settings patch servers net delta trust log platform"
  [win32ui]="window settings patch servers net delta trust log platform"
  [app]="ui win32ui window settings patch servers net delta trust log platform endpoints trusted_keys"
  [endpoints]=""
  [trusted_keys]=""
  [tools/valdora-patch]="patch servers net delta trust log platform endpoints trusted_keys"
  [tools/valdora-publish]="delta trust patch servers net log platform"
  [tools/launch_helper]="patch delta trust log platform trusted_keys"
  [tools/game_stand_in]="platform"
  [tools/skin]=""
  [tools/starter]="app platform"
  [bench]="delta trust patch servers net log platform"
  [fuzz]="delta trust settings patch servers net log platform"
)
# Where Qt may be included: the Qt window, start-up and the tools with a window.
qt_allowed='^(app/|ui/|tools/(game_stand_in|skin|starter)/)'
modules="platform log trust delta net servers patch settings window ui win32ui app endpoints trusted_keys tools fuzz bench"

# The layer of file $1 into $layer: tools/NAME for a tool, its top folder
# otherwise.
layer_of() {
  layer=${1%%/*}
  if [[ $layer == tools ]]; then
    local rest=${1#tools/}
    layer=tools/${rest%%/*}
  fi
}

sources=$(git ls-files -co --exclude-standard '*.cpp' '*.h' '*.h.in' | grep -v '^build/')
files=0 includes=0 faults=0
declare -A seen
while IFS= read -r file; do
  layer_of "$file"
  folder=$layer
  [[ -v allowed[$folder] ]] || continue
  files=$((files + 1))
  while IFS= read -r line; do
    include=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]*)[>"].*/\1/' <<<"$line")
    if [[ $line == *'<Q'* ]] && ! [[ $file =~ $qt_allowed ]]; then
      echo "check-layers: $file: Qt below the window: $include"
      faults=$((faults + 1))
      continue
    fi
    [[ $line == *'"'* ]] || continue
    if [[ $include == ../* || $include == */../* ]]; then
      echo "check-layers: $file: a relative include past its folder: $include"
      faults=$((faults + 1))
      continue
    fi
    target=${include%%/*}
    [[ $include == */* && " $modules " == *" $target "* ]] || continue
    [[ $target == tools ]] && target=$(cut -d/ -f1-2 <<<"$include")
    includes=$((includes + 1))
    [[ $target == "$folder" ]] && continue
    seen[$folder]+=" $target"
    if [[ " ${allowed[$folder]} " != *" $target "* ]]; then
      echo "check-layers: $file: $folder may not include $include"
      faults=$((faults + 1))
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done <<<"$sources"

# A header and a source of the same name in two layers. The two windows are
# one layer: each draws the same window/ in its own toolkit.
declare -A headers
while IFS= read -r file; do
  [[ $file == *.h ]] || continue
  layer_of "$file"
  [[ -v allowed[$layer] ]] || continue
  name=${file##*/}
  headers[${name%.h}]+=" $file"
done <<<"$sources"
while IFS= read -r file; do
  [[ $file == *.cpp ]] || continue
  layer_of "$file"
  [[ -v allowed[$layer] ]] || continue
  [[ $layer == win32ui ]] && layer=ui
  mine=$layer
  name=${file##*/}
  for header in ${headers[${name%.cpp}]:-}; do
    layer_of "$header"
    [[ $layer == win32ui ]] && layer=ui
    [[ $layer == "$mine" ]] && continue
    echo "check-layers: $header and $file: one name in two layers"
    faults=$((faults + 1))
  done
done <<<"$sources"

for folder in app ui win32ui window settings patch servers net delta trust log platform endpoints trusted_keys \
              tools/valdora-patch tools/valdora-publish tools/launch_helper tools/starter bench fuzz; do
  used=$(tr ' ' '\n' <<<"${seen[$folder]:-}" | sort -u | tr '\n' ' ' | sed 's/^ *//; s/ *$//')
  printf '  %-22s -> %s\n' "$folder" "${used:-(nothing of ours)}"
done
echo "  Qt: app/, ui/ and the tools with a window only"

# Functions of the engine fit on a screen.
long=0
python3 tools/check-functions.py 60 patch || long=1

if ((faults > 0)); then
  echo "check-layers: $faults against the layers ($files files, $includes project includes)"
  exit 1
fi
((long == 0)) || exit 1
echo "check-layers: $files files, $includes project includes, none against the direction"
