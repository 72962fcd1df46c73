#!/usr/bin/env bash
# Builds a release of Corvello for the self-updater: a tarball of the self-contained install
# directory and the appcast that announces it, signed with an Ed25519 key.
#
#   scripts/make-release.sh --key KEY.pem --build N --feed-base URL [--out DIR] [--notes TEXT]
#                           [--deb]
#
#   KEY.pem    the release signing key (make one with: openssl genpkey -algorithm ed25519
#              -out KEY.pem). The build pins its public half; every later release must be
#              signed with the same key, or installed copies refuse it.
#   N          the build number (an integer, higher than the last release's).
#   URL        the feed base the installed copies read ("update_feed"); the files of DIR/feed
#              are uploaded there as they are.
#   DIR        where the results go (default: dist/). DIR/feed/corvello/ holds appcast.json
#              and the archive; --deb also puts the Debian package in DIR.
set -euo pipefail
cd "$(dirname "$0")/.."

key="" build="" feed_base="" out="dist" notes="" deb=0
while [ $# -gt 0 ]; do
  case "$1" in
    --key) key="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --feed-base) feed_base="${2%/}"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --notes) notes="$2"; shift 2 ;;
    --deb) deb=1; shift ;;
    *) echo "make-release: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$key" ] || [ -z "$build" ] || [ -z "$feed_base" ]; then
  sed -n '5,16p' "$0" >&2
  exit 2
fi
case "$build" in ''|*[!0-9]*) echo "make-release: the build must be an integer" >&2; exit 2 ;; esac
case "$feed_base" in https://*) ;; *) echo "make-release: the feed base must be https" >&2; exit 2 ;; esac
[ -r "$key" ] || { echo "make-release: cannot read the key $key" >&2; exit 2; }

version="$(tr -d ' \n\r\t' < resources/VERSION)"
arch="$(dpkg --print-architecture 2>/dev/null || uname -m)"
pubkey="$(openssl pkey -in "$key" -pubout -outform DER | tail -c 32 | base64 -w0)"
[ -n "$pubkey" ] || { echo "make-release: $key is not an Ed25519 key" >&2; exit 1; }
[ -d resources/engine/node_modules/pdfjs-dist/build ] ||
  { echo "make-release: pdf.js is missing; run scripts/setup.sh first" >&2; exit 1; }

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCVL_BUILD="$build" \
  -DCVL_UPDATE_SIGNING_KEY="$pubkey" "${launcher[@]}" >/dev/null
cmake --build build-release -j"$(nproc)" --target corvello cvl compressed_docs

mkdir -p "$out"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
cmake --install build-release --prefix "$stage/corvello" --strip >/dev/null
[ "$(cat "$stage/corvello/share/corvello/BUILD")" = "$build" ]
[ -d "$stage/corvello/share/corvello/engine/node_modules/pdfjs-dist/build" ]
"$stage/corvello/bin/cvl" --version >/dev/null

name="corvello-$version-$build-linux-$arch.tar.gz"
mkdir -p "$out/feed/corvello"
archive="$out/feed/corvello/$name"
tar --sort=name --owner=0 --group=0 --numeric-owner -czf "$archive" -C "$stage" corvello
sha256="$(sha256sum "$archive" | cut -d' ' -f1)"
openssl pkeyutl -sign -inkey "$key" -rawin -in "$archive" -out "$stage/signature"
openssl pkey -in "$key" -pubout -out "$stage/public.pem"
openssl pkeyutl -verify -pubin -inkey "$stage/public.pem" -rawin -in "$archive" \
  -sigfile "$stage/signature" >/dev/null
signature="$(base64 -w0 < "$stage/signature")"
# The lowest C library that runs the programs: the newest symbol version they need.
min_glibc="$(objdump -T "$stage/corvello/bin/corvello" "$stage/corvello/bin/cvl" "$stage/corvello/bin/cvl-full" \
  "$stage/corvello/bin/cvl-scan" |
  grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/GLIBC_//' | sort -V | tail -1)"

VERSION="$version" BUILD="$build" URL="$feed_base/corvello/$name" SHA256="$sha256" \
SIGNATURE="$signature" SIGNING_KEY="$pubkey" MIN_GLIBC="$min_glibc" NOTES="$notes" \
python3 - "$out/feed/corvello/appcast.json" <<'PY'
import json, os, sys
e = os.environ
cast = {
    "version": e["VERSION"],
    "build": int(e["BUILD"]),
    "url": e["URL"],
    "sha256": e["SHA256"],
    "signature": e["SIGNATURE"],
    "signing_key": e["SIGNING_KEY"],
    "min_macos": e["MIN_GLIBC"],
}
if e["NOTES"]:
    cast["notes"] = e["NOTES"]
with open(sys.argv[1] + ".tmp", "w") as f:
    json.dump(cast, f, indent=2, sort_keys=True)
    f.write("\n")
os.replace(sys.argv[1] + ".tmp", sys.argv[1])
PY

if [ "$deb" = 1 ]; then
  (cd build-release && cpack -G DEB >/dev/null)
  cp build-release/corvello_*.deb "$out/"
fi
echo "release $version (build $build): $archive"
echo "appcast: $out/feed/corvello/appcast.json (upload $out/feed/ to $feed_base/)"
