#!/bin/sh
# The device reader as firmware builds it: C99 and C++, with gcc and clang, at every usual
# optimisation, without a warning; and needing nothing from the C library but memcpy and memset.
#   check_build.sh READER.c
set -eu
source=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
for cc in gcc clang; do
    command -v "$cc" >/dev/null 2>&1 || continue
    for opt in -O0 -Os -O2; do
        for lang in c c++; do
            std=-std=c99
            [ "$lang" = c++ ] && std=-std=c++17
            "$cc" -x "$lang" "$std" -pedantic -Wall -Wextra -Wconversion -Werror -ffreestanding \
                "$opt" -c "$source" -o "$out/reader.o"
            extra=$(nm -u "$out/reader.o" | awk '{print $NF}' | grep -vxE 'memcpy|memset' || true)
            if [ -n "$extra" ]; then
                echo "$cc $lang $opt needs:" $extra
                status=1
            fi
        done
    done
done
exit $status
