# Sourced by the benchmark scripts: a headless sway (pixman, no input
# devices) in a scratch folder $work, its socket's name in $socket and its
# runtime folder in $work/runtime. As root it runs as the user nobody (sway
# refuses root), and $run_as is the prefix that runs a command as that
# user. The processes in pids are ended, and the folder removed, at exit.
work=$(mktemp -d /tmp/tavorindle-bench-sway.XXXXXX)
chmod 755 "$work"
mkdir -p "$work/runtime"
chmod 700 "$work/runtime"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

printf 'output HEADLESS-1 resolution 1280x800\n' > "$work/sway.conf"
chmod 644 "$work/sway.conf"
run_as=()
if [[ $(id -u) -eq 0 ]]; then
  chown nobody:nogroup "$work/runtime"
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
env -i PATH="$PATH" HOME="$work" XDG_RUNTIME_DIR="$work/runtime" WLR_BACKENDS=headless \
  WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman "${run_as[@]}" sway -c "$work/sway.conf" \
  >"$work/sway.log" 2>&1 &
pids+=($!)
socket=""
for _ in $(seq 1 100); do
  socket=$(cd "$work/runtime" && ls wayland-* 2>/dev/null | grep -v lock | head -1 || true)
  [[ -n "$socket" ]] && break
  sleep 0.1
done
[[ -n "$socket" ]] || { echo "sway did not start"; cat "$work/sway.log"; exit 1; }
