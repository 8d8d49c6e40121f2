#!/usr/bin/env bash
# scripts/lab itself: the command's exit status comes through, the command runs on
# the PC host and reaches the cameras, and nothing is left behind, also on failure.
set -u
lab=$1
camsim=$2
if [ "$(id -u)" -ne 0 ]; then echo "needs root: skipped"; exit 0; fi
fail() { echo "FAIL: $*"; exit 1; }
name="scripttest-$$"
export TMPDIR=$(mktemp -d)
trap 'rm -rf "$TMPDIR"' EXIT
gone() {
  ! ip netns list | grep -q "^lab-$name-" || fail "namespaces left behind: $(ip netns list)"
  [ -z "$(ls -A "$TMPDIR")" ] || fail "scratch files left behind: $(ls -A "$TMPDIR")"
}

"$lab" --name "$name" --camsim "$camsim" --cameras 2 -- bash -c 'exit 7'
[ $? -eq 7 ] || fail "exit status not passed through"
gone

out=$("$lab" --name "$name" --camsim "$camsim" --cameras 2 -- bash -c \
  'echo "ips=$LAB_CAMERA_IPS"; ip -br addr show pc0; bash -c "exec 3<>/dev/tcp/198.18.1.11/42000" && echo tcp-ok; test -f "$LAB_RECORD" && echo record-ok') \
  || fail "lab command failed"
grep -q "ips=198.18.1.10 198.18.1.11" <<<"$out" || fail "camera addresses: $out"
grep -q "198.18.0.1/15" <<<"$out" || fail "PC address: $out"
grep -q tcp-ok <<<"$out" || fail "camera not reachable over TCP: $out"
grep -q record-ok <<<"$out" || fail "no record file: $out"
gone

# A simulator that cannot start fails the lab, which still cleans up.
"$lab" --name "$name" --camsim "$camsim" --cameras 2 --set bogus=1 -- true 2>/dev/null
[ $? -ne 0 ] || fail "a failed camsim start went unnoticed"
gone

# A simulator that does not stop cleanly fails a run whose command passed.
fake=$(mktemp -d /tmp/fake-camsim.XXXXXX)
cat >"$fake/camsim" <<'FAKE'
#!/usr/bin/env bash
while [ $# -gt 0 ]; do [ "$1" = --ready ] && touch "$2"; shift; done
trap 'exit 1' TERM
sleep 60 & wait
FAKE
chmod +x "$fake/camsim"
"$lab" --name "$name" --camsim "$fake/camsim" --cameras 1 -- true 2>/dev/null
status=$?
rm -rf "$fake"
[ $status -eq 3 ] || fail "a simulator ending with a failure gave status $status, not 3"
gone

# A process the command leaves behind in the PC namespace ends with the lab.
left=$("$lab" --name "$name" --no-camsim -- bash -c 'sleep 300 >/dev/null 2>&1 & echo $!') || fail "lab command failed"
state=$(awk '{print $3}' "/proc/$left/stat" 2>/dev/null)
[ -z "$state" ] || [ "$state" = Z ] || fail "a process the command left behind outlived the lab"
gone

# A lab sent SIGTERM while its command runs ends at once, with the command, and cleans up.
"$lab" --name "$name" --no-camsim -- sleep 300 &
lab_pid=$!
for _ in $(seq 100); do ip netns list | grep -q "^lab-$name-cam" && break; sleep 0.05; done
sleep 0.2
SECONDS=0
kill -TERM "$lab_pid"
wait "$lab_pid"
status=$?
[ $status -eq 143 ] || fail "a lab sent SIGTERM gave status $status, not 143"
[ $SECONDS -lt 10 ] || fail "a lab sent SIGTERM waited for its command to end"
gone

# --serve holds the lab until its input closes.
exec 4< <(sleep 1)
"$lab" --name "$name" --camsim "$camsim" --cameras 1 --serve <&4 >/dev/null || fail "--serve failed"
gone
echo "lab script: ok"
