#!/usr/bin/env bash
# Installs the Debian 12 packages that Sonavix needs to build, run and test.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
# jackd2 must come in the same call as librtmidi-dev, otherwise apt swaps the
# JACK development package and drops librtmidi-dev again.
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build clang clang-format clang-tidy libclang-rt-14-dev pkg-config \
  libgtest-dev libgmock-dev libmuparser-dev \
  qt6-base-dev qt6-svg-dev libgl-dev qt6-translations-l10n \
  librtmidi-dev libjack-jackd2-dev jackd2 \
  libfluidsynth-dev fluidsynth timgm6mb-soundfont libsndfile1-dev libmp3lame-dev sox libsox-fmt-mp3 \
  libcurl4-openssl-dev ca-certificates \
  nlohmann-json3-dev \
  libpugixml-dev lilypond musescore3 libxml2-utils \
  fp-utils-3.2.2 libchm-dev \
  pulseaudio pulseaudio-utils \
  xvfb xauth fonts-liberation \
  at-spi2-core python3-pyatspi dbus \
  desktop-file-utils appstream dpkg-dev shared-mime-info
