# Sourced by the benchmark scripts.
#
#   run_in_gnome_with_bridge FOLDER BINARY command...
#
# Runs the command in a headless GNOME Shell whose bridge extension, taken
# from BINARY's build and installed under FOLDER/share, serves BINARY. The
# bridge serves one executable: a shell for each binary.
run_in_gnome_with_bridge() {
  local folder=$1 binary=$2
  shift 2
  local uuid=tavorindle-bridge@tavorindle.app
  local build
  build=$(cd "$(dirname "$binary")/.." && pwd)
  mkdir -p "$folder/share/gnome-shell/extensions"
  cp -r "$build/gnome-extension/$uuid" "$folder/share/gnome-shell/extensions/"
  sed -i "s|\"tavorindle-executable\": \"[^\"]*\"|\"tavorindle-executable\": \"$binary\"|" \
    "$folder/share/gnome-shell/extensions/$uuid/metadata.json"
  "$(dirname "${BASH_SOURCE[0]}")/../../tests/gnome/run_in_gnome_shell.sh" \
    --data-dir "$folder/share" --extension "$uuid" -- "$@"
}
