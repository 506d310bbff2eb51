#!/usr/bin/env bash
# bench_burst.sh [win32-build-dir] [messages]
#
# The forwarding burst, in the real plug-in under Wine: the host simulator
# sends <messages> (default 1000) watched group messages at once; each one is
# forwarded to 10 groups and 10 friends with pauses of 5-10 s, so 2 x
# <messages> jobs wait at the same time. While it runs, the hostsim process's
# thread count and memory are sampled from /proc (Wine threads are Linux
# threads); afterwards every post is checked against the host's record:
# each job's targets in order, its gaps inside the pause bounds, the threads
# that posted. Prints the figures; exits 1 when a check fails.
#
# Needs a built win32 tree (cmake --preset win32 && cmake --build --preset
# win32): hostsim.exe and KXOffer.dll in tests/wine/bin, com.tavrel.dll at the
# top. Runs ~90 s. Uses its own Wine environment in <build>/wine-bench and
# stops it afterwards.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build=$(cd "${1:-$root/build/win32}" && pwd)
messages=${2:-1000}
bin=$build/tests/wine/bin
dll=$build/com.tavrel.dll
for f in "$bin/hostsim.exe" "$bin/KXOffer.dll" "$dll"; do
  [[ -f $f ]] || { echo "bench_burst: $f is missing (build the win32 tree first)" >&2; exit 2; }
done

export MORVANE_WINE_DIR=$build/wine-bench
work=$(mktemp -d /tmp/bench_burst.XXXXXX)
scenario=$work/bench_burst_$$.scn
"$root/tests/wine/wine-env.sh" start "$MORVANE_WINE_DIR" >"$work/env.log" 2>&1
cleanup() { "$root/tests/wine/wine-env.sh" stop "$MORVANE_WINE_DIR" >>"$work/env.log" 2>&1 || true; }
trap cleanup EXIT

groups=(1001 1002 1003 1004 1005 1006 1007 1008 1009 1010)
friends=(2001 2002 2003 2004 2005 2006 2007 2008 2009 2010)
posts=$((messages * 20))
{
  echo "accounts 10001"
  echo "groups 999 ${groups[*]}"
  echo "initialize 2018 0"
  echo "startup"
  echo "enable"
  echo "groupmsg 999 555 获取权限"
  echo "groupmsg 999 555 授权监控+999"
  echo "groupmsg 999 555 授权直播+666"
  for g in "${groups[@]}"; do echo "groupmsg 999 555 授权转发+$g"; done
  for f in "${friends[@]}"; do echo "groupmsg 999 555 私聊转图+$f"; done
  echo "groupmsg 999 555 设置延迟5-10"
  echo "groupmsg 999 555 开启直播"
  echo "clear-calls"
  echo "echo burst-start"
  for ((i = 1; i <= messages; i++)); do printf 'groupmsg 999 666 突发消息%05d\n' "$i"; done
  echo "echo burst-admitted"
  echo "wait-calls $posts 600000 send*"
  echo "expect-calls $posts send*"
} >"$scenario"

# Sample the hostsim process: threads now, peak resident and virtual memory.
sample() {
  local pid="" started=$SECONDS
  while [[ -z $pid && $((SECONDS - started)) -lt 60 ]]; do
    for p in $(pgrep -f -- "bench_burst_$$" || true); do
      [[ $(cat /proc/$p/comm 2>/dev/null) == hostsim.exe ]] && pid=$p
    done
    sleep 0.1
  done
  [[ -n $pid ]] || return 0
  while [[ -r /proc/$pid/status ]]; do
    awk -v t="$(date +%s.%N)" '/^Threads:|^VmHWM:|^VmPeak:|^VmRSS:/ {v[$1]=$2} END {print t, v["Threads:"], v["VmRSS:"], v["VmHWM:"], v["VmPeak:"]}' \
      /proc/$pid/status 2>/dev/null || true
    sleep 0.2
  done
}
sample >"$work/samples.txt" &
sampler=$!

start=$(date +%s.%N)
set +e
MORVANE_WINE_TIMEOUT=900 "$root/tests/wine/wine-run.sh" "$bin/hostsim.exe" -v --plugin "$dll" "$scenario" \
  >"$work/hostsim.out" 2>&1
status=$?
set -e
end=$(date +%s.%N)
wait "$sampler" || true

python3 - "$work" "$status" "$start" "$end" "$messages" "${groups[*]}" "${friends[*]}" <<'PY'
import re, sys
work, status, start, end, messages = sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5])
groups = [int(x) for x in sys.argv[6].split()]
friends = [int(x) for x in sys.argv[7].split()]
call = re.compile(r'host> #\d+ KX_send(Group|Friend)Msg auth=\d+ robot=(\d+) target=(\d+) text="([^"]*)"\s+\[(.*?), (\d+) ms\]')
jobs, threads, failures = {}, set(), []
for line in open(f"{work}/hostsim.out", encoding="utf-8", errors="replace"):
    m = call.search(line)
    if not m or not m.group(4).startswith("突发消息"):
        continue
    kind, robot, target, text, thread, ms = m.groups()
    jobs.setdefault((kind, text), []).append((int(target), int(ms)))
    threads.add(thread)
    if robot != "10001":
        failures.append(f"robot {robot} in {line.strip()}")
posts = sum(len(v) for v in jobs.values())
gaps = []
for (kind, text), seq in jobs.items():
    want = groups if kind == "Group" else friends
    if [t for t, _ in seq] != want:
        failures.append(f"{kind} {text}: targets {[t for t, _ in seq]}")
    gaps += [b[1] - a[1] for a, b in zip(seq, seq[1:])]
if len(jobs) != 2 * messages:
    failures.append(f"{len(jobs)} jobs seen, {2 * messages} expected")
short = [g for g in gaps if g < 5000 - 20]
samples = [l.split() for l in open(f"{work}/samples.txt") if len(l.split()) == 5]
print(f"messages {messages}, jobs {len(jobs)}, posts {posts}, run {float(end) - float(start):.1f} s, hostsim exit {status}")
if gaps:
    gaps.sort()
    print(f"gap between a job's posts: min {gaps[0]} ms, median {gaps[len(gaps)//2]} ms, max {gaps[-1]} ms (pauses 5000-10000 ms)")
if short:
    failures.append(f"{len(short)} gaps shorter than the 5 s pause")
firsts = sorted(seq[0][1] for seq in jobs.values())
if firsts:
    print(f"first posts of all jobs within {firsts[-1] - firsts[0]} ms")
print(f"threads that posted: {len(threads)}")
if samples:
    t = [int(s[1]) for s in samples]
    print(f"hostsim threads: first sample {t[0]}, max {max(t)} ({len(samples)} samples)")
    print(f"hostsim memory: peak resident {int(samples[-1][3]) // 1024} MiB, peak virtual {int(samples[-1][4]) // 1024} MiB")
if status != 0:
    failures.append(f"hostsim exit status {status} (see {work}/hostsim.out)")
for f in failures[:20]:
    print("FAIL:", f)
print("RESULT:", "FAIL" if failures else "PASS", f"(output in {work})")
sys.exit(1 if failures else 0)
PY
