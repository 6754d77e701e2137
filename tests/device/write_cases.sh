#!/bin/sh
# The cases draw_check runs: the sample theme and device-cases' tree of odd sizes, rows over 4095
# pixels and variants, each packed by the packer alone (so that it writes plain bins and finds no
# VOX_ZIP to hand them to), written as C by device-cases into OUT/cases.c.
#   write_cases.sh BIN OUT [--corpus ICONS SCREENS]   (BIN: the folder of a build's programs)
set -eu
bin=$1
out=$2
shift 2
rm -rf "$out"
mkdir -p "$out/tools"
cp "$bin/theme-packager" "$out/tools/"
"$bin/make-sample-themes" "$out/sample"
"$bin/device-cases" --write-tree "$out/variants"
for tree in sample variants; do
    status=0
    (cd "$out/$tree" && PATH=/nonexistent ../tools/theme-packager >/dev/null 2>&1) || status=$?
    if [ "$status" != 2 ]; then
        echo "write_cases.sh: packing $tree ended with $status, not 2 (bins written, no VOX_ZIP)" >&2
        exit 1
    fi
done
"$bin/device-cases" "$out/cases.c" "$@" sample="$out/sample" variants="$out/variants"
