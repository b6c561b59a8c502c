#!/usr/bin/env bash
# Fetches mini-gmp, the small portable subset of GMP that GMP's sources
# carry (mini-gmp.c, mini-mpq.c and their headers), into
# build/gmp-source/mini-gmp/.  Debian has no GMP built for mingw-w64: the
# mingw preset builds the tests' GMP from these sources instead.
#
#   scripts/fetch_mini_gmp.sh     (does nothing when they are there)
#
# They come from Debian's GMP source package, which apt-get fetches from
# the Debian archive the system installs from, through a source list,
# index and cache of its own under build/gmp-source/: the system's apt
# configuration is left as it is.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
readonly DEST=$PWD/build/gmp-source
readonly APT=$DEST/apt

if [[ -f $DEST/mini-gmp/mini-gmp.c && -f $DEST/mini-gmp/mini-mpq.c ]]; then
  echo "mini-gmp present: $DEST/mini-gmp"
  exit 0
fi

# The archive of the system's own release, as the system's sources name it.
debian_archive() {
  # shellcheck disable=SC2016 # apt's format, not the shell's
  apt-get indextargets --no-release-info --format '$(SITE)' \
    "Release: $VERSION_CODENAME" 'Identifier: Packages' | sort -u | head -n 1
}

# shellcheck source=/dev/null
. /etc/os-release
archive=$(debian_archive)
if [[ -z $archive ]]; then
  echo "No apt source of Debian $VERSION_CODENAME to fetch GMP's sources from" >&2
  exit 1
fi

rm -rf "$DEST"
mkdir -p "$APT/lists/partial" "$APT/cache/archives/partial" "$DEST/download"
cat >"$APT/gmp.sources" <<EOF
Types: deb-src
URIs: $archive
Suites: $VERSION_CODENAME
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
apt_options=(
  -o "Dir::Etc::SourceList=$APT/gmp.sources"
  -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$APT/lists"
  -o "Dir::Cache=$APT/cache"
)
apt-get "${apt_options[@]}" update
# apt downloads as its own user where it can write.
chown _apt "$DEST/download" 2>/dev/null || true
(cd "$DEST/download" && apt-get "${apt_options[@]}" source --download-only gmp)
tar -xJf "$DEST"/download/gmp_*.orig.tar.xz -C "$DEST" \
  --strip-components=1 --wildcards '*/mini-gmp/mini-*.[ch]'
rm -rf "$APT" "$DEST/download"
echo "mini-gmp fetched: $DEST/mini-gmp"
