#!/usr/bin/env bash
# Installs what Corvello needs on Debian and builds it into build/. Safe to run again:
# packages already present are skipped and the build is incremental.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  # toolchain and tests
  build-essential cmake pkg-config python3 libgtest-dev libgmock-dev libbenchmark-dev
  # Node.js and npm install the reader's pdf.js
  nodejs
  # PDF library (a static archive) and the libraries it links against
  libmupdf-dev libmujs-dev libgumbo-dev libopenjp2-7-dev libjbig2dec0-dev libjpeg-dev
  libfreetype-dev libharfbuzz-dev
  # core libraries
  libpcre2-dev libsqlite3-dev libssl-dev libcurl4-openssl-dev libzip-dev libexpat1-dev
  nlohmann-json3-dev libunistring-dev
  # GIO: the desktop's trash
  libglib2.0-dev
  # text recognition, speech, legacy Word text
  libtesseract-dev tesseract-ocr-eng libespeak-ng-dev espeak-ng antiword
  # HEIC photos for Bates stamping (libheif with its HEVC decoder)
  libheif-dev
  # deflate for the quick PNGs of visual compare
  zlib1g-dev
  # desktop shell and its headless test display
  libgtk-3-dev libwebkit2gtk-4.1-dev xvfb xauth fonts-dejavu-core
  # time-zone data (zone table generator) and peer tools that check outputs in tests
  tzdata qpdf poppler-utils
  # the engine lays out converted Word, RTF, text and Markdown documents as PDF; LibreOffice's
  # headless converter keeps the fonts, headers, footers and tables of Word, RTF and ODT
  mupdf-tools libreoffice-writer-nogui
  # read aloud plays through the desktop's sound server; translation and language detection
  libpulse-dev libexttextcat-dev apertium apertium-eng-spa
  # the Debian package's library dependencies (cpack -G DEB)
  dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y "${missing[@]}"
fi

if [ -f resources/engine/package.json ] && ! command -v npm >/dev/null 2>&1; then
  # Debian's own nodejs package ships npm separately.
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends npm
fi
if [ -f resources/engine/package.json ]; then
  if [ ! -d resources/engine/node_modules ] || [ resources/engine/package.json -nt resources/engine/node_modules ]; then
    (cd resources/engine && npm install --no-audit --no-fund && touch node_modules)
  fi
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
