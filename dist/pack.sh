#!/bin/sh
# pack.sh BUILD ARCHIVE EPOCH: installs the build into a folder
# named after ARCHIVE (.zip or .tar.gz) and packs it so that two builds of
# one commit give the same bytes: entries in name order, all dated EPOCH,
# modes 755 for programs and folders and 644 for the rest whatever the
# umask, owned by root in the tar.gz, no extra fields in the ZIP. Its
# SHA256SUMS, beside it, lets a player check it.
set -eu
build=$1 archive=$2 epoch=$3
top=$(basename "$(basename "$archive" .zip)" .tar.gz)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/$top" >/dev/null
find "$stage/$top" -type d -exec chmod 755 {} +
find "$stage/$top" -type f -exec chmod 644 {} +
find "$stage/$top" -type f \( -name '*.exe' -o -path '*/bin/*' \) -exec chmod 755 {} +
find "$stage/$top" -exec touch -h -d "@$epoch" {} +
mkdir -p "$(dirname "$archive")"
rm -f "$archive"
case $archive in
*.zip)
	(cd "$stage" && find "$top" -type f | LC_ALL=C sort |
	    TZ=UTC zip -X -q -@ "$archive") ;;
*)
	tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner \
	    --mtime="@$epoch" -cf - "$top" | gzip -n -9 >"$archive" ;;
esac
(cd "$(dirname "$archive")" && sha256sum "$(basename "$archive")" >SHA256SUMS)
