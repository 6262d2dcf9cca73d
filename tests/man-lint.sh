#!/bin/sh
# The manual pages in the folder $1: mandoc may report style, nothing worse.
# Exit 77 (skipped) without mandoc, unless HISCORE_REQUIRE_ALL is set.
command -v mandoc >/dev/null || { [ -z "${HISCORE_REQUIRE_ALL:-}" ] && exit 77; exit 1; }
ls "$1"/*.1 >/dev/null && out=$(mandoc -Tlint -Wwarning "$1"/*.1 2>&1) && [ -z "$out" ] ||
    { echo "$out"; exit 1; }
