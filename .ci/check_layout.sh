#!/usr/bin/env bash
# Fails when a file of src/ or tools/ includes a folder its own folder may
# not include: includes point down the floors only (base, config, log, the
# linker core, one folder per format, the table of formats, the driver,
# tools), a format never includes another, and a format takes from the core
# only the headers of its seam.
set -euo pipefail
cd "$(dirname "$0")/.."

# Folders each folder may include, besides itself.
declare -A allowed=(
  [src/base]=""
  [src/config]="base"
  [src/log]="base config"
  [src/linker]="base config log"
  [src/squish]="base config log linker"
  [src/jam]="base config log linker"
  [src/msg]="base config log linker"
  [src/formats]="base config log linker squish jam msg"
  [src/driver]="base config log linker formats"
  [tools/dump]="base config log linker squish jam msg formats"
)
# What a format may take from the core: the seam, the scanner and the normaliser.
seam="linker/area_source.h linker/link_sink.h linker/message_reader.h linker/link_area.h
      linker/kludge_scanner.h linker/subject_normaliser.h"

status=0
while IFS= read -r file; do
  folder=$(dirname "$file")
  own=$(basename "$folder")
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "$file: the folder $folder has no entry in .ci/check_layout.sh"
    status=1
    continue
  fi
  while IFS= read -r included; do
    target=${included%%/*}
    [ "$target" = "$included" ] && continue  # a file of the same folder
    [ "$target" = "$own" ] && continue
    case " ${allowed[$folder]} " in
      *" $target "*) ;;
      *) echo "$file: includes $included, but $folder may not include $target/"; status=1; continue ;;
    esac
    if [ "$target" = linker ] && [ "$folder" != src/linker ] && [[ "$folder" =~ ^src/(squish|jam|msg)$ ]]; then
      case " $(echo $seam) " in
        *" $included "*) ;;
        *) echo "$file: a format includes $included, which is the core's own"; status=1 ;;
      esac
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find src tools -name '*.h' -o -name '*.cc' | sort)

[ "$status" -eq 0 ] && echo "layout: every include points down"
exit "$status"
