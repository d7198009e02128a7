#!/usr/bin/env bash
# Each outside system's headers are included in its own folder of src/platform only, so that the program
# without a display maps none of their libraries and a backend's code cannot leak into the logic above it.
# Usage: header_boundaries.sh SRC_DIR. Prints each include that breaks a rule; exits 1 if there is one.
set -euo pipefail
src="$1"
status=0

# only PATTERN ALLOWED...: includes matching PATTERN appear only in files under the ALLOWED paths.
only() {
  local pattern="$1"
  shift
  local file
  while IFS= read -r file; do
    local rel="${file#"$src"/}" ok=0 allowed
    for allowed in "$@"; do
      [[ "$rel" == "$allowed"* ]] && ok=1
    done
    if ((!ok)); then
      grep -nE "$pattern" "$file" | sed "s|^|$rel:|"
      status=1
    fi
  done < <(grep -rlE "$pattern" "$src" --include='*.h' --include='*.cpp' --include='*.inc' || true)
}

only '^#include <X11/' platform/x11/
only '^#include <Q[A-Za-z]*>' platform/ui/qt/
only '^#include <(linux/uinput\.h|sys/ioctl\.h)>' platform/keys/uinput_key_backend.cpp
only '^#include <(wayland-|glib|gio/|dbus/)' platform/wayland/
only '^#include <xkbcommon/' platform/
exit "$status"
