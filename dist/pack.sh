#!/bin/sh
# pack.sh BUILD ARCHIVE EPOCH SOURCE: installs the build into a folder
# named after ARCHIVE (.zip, .tar.gz or .deb) and packs it so that two
# builds of one commit give the same bytes: entries in name order, all
# dated EPOCH, modes 755 for programs and folders and 644 for the rest
# whatever the umask, owned by root in the tar.gz and the .deb, no extra
# fields in the ZIP. Its SHA256SUMS, beside it, lets a player check it.
# A Debian package is installed under /usr, with its manual pages
# compressed, the licence as its copyright file, a Debian changelog that
# points to CHANGELOG.md of the source tree SOURCE, shipped beside it, and
# the libraries that its programs need, as dpkg-shlibdeps finds them, as
# its dependencies.
set -eu
build=$1 archive=$2 epoch=$3 source=$4
top=$(basename "$(basename "$(basename "$archive" .zip)" .tar.gz)" .deb)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root=$stage/$top
case $archive in *.deb) root=$stage/$top/usr;; esac
cmake --install "$build" --prefix "$root" >/dev/null
if [ "$root" != "$stage/$top" ]; then
	doc=$root/share/doc/hiscore-merge
	mv "$doc/LICENSE" "$doc/copyright"
	gzip -9n "$root"/share/man/man1/*.1
	gzip -9n <"$source/CHANGELOG.md" >"$doc/CHANGELOG.md.gz"
	version=${top#*_} maintainer='the hiscore-merge authors <hiscore-merge@example.org>'
	printf '%s\n\n  * %s\n\n -- %s  %s\n' "hiscore-merge (${version%_*}) stable; urgency=medium" \
	    "The changes of this release are listed in CHANGELOG.md.gz." "$maintainer" \
	    "$(date -u -R -d "@$epoch")" | gzip -9n >"$doc/changelog.gz"
fi
find "$stage/$top" -type d -exec chmod 755 {} +
find "$stage/$top" -type f -exec chmod 644 {} +
find "$stage/$top" -type f \( -name '*.exe' -o -path '*/bin/*' \) -exec chmod 755 {} +
find "$stage/$top" -exec touch -h -d "@$epoch" {} +
# The build's only package: one of an earlier version goes.
rm -rf "$(dirname "$archive")"
mkdir -p "$(dirname "$archive")"
case $archive in
*.zip)
	(cd "$stage" && find "$top" -type f | LC_ALL=C sort |
	    TZ=UTC zip -X -q -@ "$archive") ;;
*.tar.gz)
	tar -C "$stage" --sort=name --owner=0 --group=0 --numeric-owner \
	    --mtime="@$epoch" -cf - "$top" | gzip -n -9 >"$archive" ;;
*.deb)
	mkdir -p "$stage/debian" "$stage/$top/DEBIAN"
	printf 'Source: hiscore-merge\n\nPackage: hiscore-merge\nArchitecture: any\n' \
	    >"$stage/debian/control"
	(cd "$stage" && dpkg-shlibdeps -O "$top"/usr/bin/*) >"$stage/depends"
	(cd "$stage/$top" && find usr -type f | LC_ALL=C sort | xargs md5sum >DEBIAN/md5sums)
	cat >"$stage/$top/DEBIAN/control" <<-EOF
	Package: hiscore-merge
	Version: ${version%_*}
	Architecture: ${top##*_}
	Maintainer: $maintainer
	Installed-Size: $(du -k -s "$root" | cut -f1)
	$(sed 's/^shlibs:Depends=/Depends: /' "$stage/depends")
	Section: utils
	Priority: optional
	Description: merge the high-score tables of two QUORVEX installations
	 hiscore-merge merges the top-ten tables of two score files of the game
	 QUORVEX into one, as the game's HISCORE.DAT. merge-scores does the same
	 for the files named to it and shows what it merges; hiscore-show prints
	 what score files hold.
	EOF
	chmod 755 "$stage/$top/DEBIAN" && chmod 644 "$stage/$top/DEBIAN"/*
	touch -d "@$epoch" "$stage/$top/DEBIAN" "$stage/$top/DEBIAN"/*
	SOURCE_DATE_EPOCH=$epoch dpkg-deb --root-owner-group -Zxz --build "$stage/$top" \
	    "$archive" >/dev/null ;;
esac
(cd "$(dirname "$archive")" && sha256sum "$(basename "$archive")" >SHA256SUMS)
