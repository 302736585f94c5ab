# Sourced by the benchmark scripts: a private Xvfb display on the first free
# number from $1 to $2, exported as DISPLAY; a scratch folder $work; the
# processes in pids ended, and the folder removed, when the script exits.
display=""
for n in $(seq "$1" "$2"); do
  if [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
[[ -n "$display" ]] || { echo "no free X display"; exit 1; }
export DISPLAY=$display
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
