#!/usr/bin/env bash
# Times quarnel against xxd, hexdump -C and od on a 256 MiB random file, to
# /dev/null and through a pipe, after checking that quarnel's output equals
# that of the portable reference dumper. Also times unquarnel against xxd -r,
# reading back and patching, quarnel-diff against xdelta3 and bsdiff,
# quarnel-grep against ripgrep and grep -P, quarnel-as against xxd and
# hexdump -C in their own layouts, a far start offset, and measures
# peak memory and the cost of dumping a 100-byte file.
#
#   bash bench/compare.sh             (RUNS, SLOW_RUNS and SIZE_MIB may be set)
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-5}             # runs of quarnel, xxd and the pipe baseline
slow_runs=${SLOW_RUNS:-1}   # runs of hexdump and od, which take about a minute each
size_mib=${SIZE_MIB:-256}

cmake --workflow --preset bench >/dev/null
quarnel=$PWD/build/bench/quarnel
reference=$PWD/build/bench/reference_dump
unquarnel=$PWD/build/bench/unquarnel
quarnel_diff=$PWD/build/bench/quarnel-diff
quarnel_grep=$PWD/build/bench/quarnel-grep
quarnel_as=$PWD/build/bench/quarnel-as

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((size_mib << 20)) /dev/urandom >"$work/big.bin"
head -c 100 /dev/urandom >"$work/small.bin"

"$quarnel" "$work/big.bin" >"$work/fast.txt"
"$reference" "$work/big.bin" >"$work/reference.txt"
cmp "$work/fast.txt" "$work/reference.txt"
output_bytes=$(stat -c %s "$work/fast.txt")
rm "$work/fast.txt" "$work/reference.txt"

# Median wall time, in seconds, of $1 runs of the shell command $2.
median() {
  local count=$1 command=$2 times=() start
  for ((i = 0; i < count; i++)); do
    start=$(date +%s%N)
    bash -c "$command"
    times+=($(( $(date +%s%N) - start )))
  done
  printf '%s\n' "${times[@]}" | sort -n |
    awk '{ t[NR] = $1 } END { m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2; printf "%.3f\n", m / 1e9 }'
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(uname -r)"
echo "input: $size_mib MiB of random bytes; quarnel writes $output_bytes bytes; output identical to the reference dumper"
echo

declare -A null_time pipe_time
tools=(quarnel xxd "hexdump -C" "od -A x -t x1z")
for tool in "${tools[@]}"; do
  case $tool in
    quarnel) command=$quarnel; count=$runs ;;
    xxd) command=xxd; count=$runs ;;
    *) command=$tool; count=$slow_runs ;;
  esac
  null_time[$tool]=$(median "$count" "$command '$work/big.bin' >/dev/null")
  pipe_time[$tool]=$(median "$count" "$command '$work/big.bin' | cat >/dev/null")
done
baseline=$(median "$runs" "head -c $output_bytes /dev/zero | cat >/dev/null")

printf '%-16s %12s %10s %8s %12s %10s %8s\n' tool "to null (s)" "MB/s" "vs xxd" "pipe (s)" "MB/s" "vs xxd"
for tool in "${tools[@]}"; do
  awk -v name="$tool" -v n="${null_time[$tool]}" -v p="${pipe_time[$tool]}" \
      -v xn="${null_time[xxd]}" -v xp="${pipe_time[xxd]}" -v mb="$size_mib" \
      'BEGIN { s = mb * 1.048576; printf "%-16s %12.3f %10.0f %7.1fx %12.3f %10.0f %7.1fx\n", name, n, s / n, xn / n, p, s / p, xp / p }'
done
awk -v b="$baseline" -v p="${pipe_time[quarnel]}" -v n="$output_bytes" \
  'BEGIN { printf "\npipe baseline: head -c %d /dev/zero | cat takes %.3f s; quarnel through a pipe takes %.2f times that\n", n, b, p / b }'

echo
for mib in 1 1024; do
  rss=$(head -c $((mib << 20)) /dev/zero | /usr/bin/time -f %M "$quarnel" 2>&1 >/dev/null)
  echo "peak resident memory dumping $mib MiB from a pipe: $rss KiB"
done

# Reading dumps back: unquarnel on quarnel's dump, xxd -r on xxd's own.
"$quarnel" "$work/big.bin" >"$work/big.txt"
xxd "$work/big.bin" >"$work/big.xxd"
"$unquarnel" "$work/big.txt" | cmp - "$work/big.bin"
u_time=$(median "$runs" "$unquarnel '$work/big.txt' >/dev/null")
r_time=$(median "$runs" "xxd -r '$work/big.xxd' >/dev/null")
awk -v u="$u_time" -v r="$r_time" -v ut="$(stat -c %s "$work/big.txt")" -v rt="$(stat -c %s "$work/big.xxd")" \
  'BEGIN { printf "dump back to bytes: unquarnel %.3f s (%.2f GB/s of dump text), xxd -r %.3f s (%.2f GB/s); %.1fx\n", u, ut / u / 1e9, r, rt / r / 1e9, r / u }'
rss=$("$quarnel" "$work/big.bin" | /usr/bin/time -f %M "$unquarnel" 2>&1 >/dev/null)
echo "peak resident memory of unquarnel reading back 256 MiB from a pipe: $rss KiB"
rm "$work/big.txt" "$work/big.xxd"

# The other tools' dumps of 64 MiB read back by unquarnel, and xxd's by
# xxd -r, in MB/s of dump text.
head -c $((64 << 20)) "$work/big.bin" >"$work/layouts.bin"
xxd "$work/layouts.bin" >"$work/layouts.xxd"
hexdump -C "$work/layouts.bin" >"$work/layouts.hexdump"
od -A x -t x1z "$work/layouts.bin" >"$work/layouts.od"
"$quarnel" "$work/layouts.bin" >"$work/layouts.quarnel"
x_time=$(median "$runs" "xxd -r '$work/layouts.xxd' >/dev/null")
q_time=$(median "$runs" "$unquarnel '$work/layouts.quarnel' >/dev/null")
for layout in quarnel xxd hexdump od; do
  "$unquarnel" "$work/layouts.$layout" | cmp - "$work/layouts.bin"
  l_time=$(median "$runs" "$unquarnel '$work/layouts.$layout' >/dev/null")
  rss=$(/usr/bin/time -f %M "$unquarnel" "$work/layouts.$layout" 2>&1 >/dev/null)
  awk -v name="$layout" -v t="$l_time" -v x="$x_time" -v q="$q_time" -v n="$(stat -c %s "$work/layouts.$layout")" -v m="$rss" \
    'BEGIN { printf "unquarnel on %s'"'"'s dump of 64 MiB: %.3f s, %.0f MB/s of text, %.1fx xxd -r, %.2f of quarnel'"'"'s own speed, %d KiB\n", name, t, n / t / 1e6, x / t, q / t, m }'
done
rm "$work"/layouts.*

# quarnel-diff against cmp on equal files, and against diff of xxd's dumps
# on files that differ in 1% of their lines, 256 MiB each.
cp "$work/big.bin" "$work/copy.bin"
cp "$work/big.bin" "$work/changed.bin"
perl -e 'open(my $f, "+<", $ARGV[0]) or die; my $lines = (-s $f) / 16;
  for (my $i = 37; $i < $lines; $i += 100) { seek($f, $i * 16 + 5, 0); print $f "B"; }' \
  "$work/changed.bin"
d_same=$(median "$runs" "$quarnel_diff '$work/big.bin' '$work/copy.bin' >/dev/null")
c_same=$(median "$runs" "cmp '$work/big.bin' '$work/copy.bin'")
d_changed=$(median "$runs" "$quarnel_diff '$work/big.bin' '$work/changed.bin' >/dev/null")
x_changed=$(median "$slow_runs" "diff <(xxd '$work/big.bin') <(xxd '$work/changed.bin') >/dev/null")
awk -v d="$d_same" -v c="$c_same" -v e="$d_changed" -v x="$x_changed" \
  'BEGIN { printf "equal files: quarnel-diff %.3f s, cmp %.3f s; 1%% of lines changed: quarnel-diff %.3f s, diff <(xxd) %.3f s, %.0fx\n", d, c, e, x, x / e }'
rm "$work/copy.bin" "$work/changed.bin"

# Bytes inserted and deleted: 5 insertions (1 byte to 1 MiB) and 2
# deletions in the 256 MiB file. quarnel-diff against xdelta3 (a binary
# delta, nothing to review) for time, memory and size; both applied back;
# bsdiff, which needs about 17 times the old file in memory, on the first
# 16 MiB only.
perl -e 'open(my $in, "<", $ARGV[0]) or die; binmode $in; local $/; my $d = <$in>;
  my @edits = ([200e6, 0, 1], [150e6, 0, 100], [100e6, 37, 0], [90e6, 0, 4096],
               [50e6, 0, 1 << 20], [20e6, 19, 0], [1000, 0, 2]);
  srand(7);
  for my $e (@edits) { my $ins = join "", map { chr(int(rand(256))) } 1 .. $e->[2];
    substr($d, $e->[0], $e->[1]) = $ins; }
  open(my $out, ">", $ARGV[1]) or die; binmode $out; print $out $d;' \
  "$work/big.bin" "$work/moved.bin"
d_moved=$(median "$runs" "$quarnel_diff '$work/big.bin' '$work/moved.bin' >'$work/moved.diff'")
# quarnel-diff exits 1 for files that differ.
d_rss=$( (/usr/bin/time -f %M "$quarnel_diff" "$work/big.bin" "$work/moved.bin" 2>&1 >/dev/null || true) | tail -1)
d_shown=$(grep -c '^[-+][0-9A-F]' "$work/moved.diff" || true)
cp "$work/big.bin" "$work/apply.bin"
a_moved=$(median 1 "$unquarnel -p '$work/apply.bin' '$work/moved.diff'")
cmp "$work/apply.bin" "$work/moved.bin"
printf 'quarnel-diff with bytes moved: %.3f s, %d KiB, %d bytes of diff, %d lines on - or +; unquarnel -p applies it in %.3f s\n' \
  "$d_moved" "$d_rss" "$(stat -c %s "$work/moved.diff")" "$d_shown" "$a_moved"
if command -v xdelta3 >/dev/null; then
  x_moved=$(median "$runs" "xdelta3 -e -f -B 536870912 -s '$work/big.bin' '$work/moved.bin' '$work/moved.xd'")
  x_rss=$(/usr/bin/time -f %M xdelta3 -e -f -B 536870912 -s "$work/big.bin" "$work/moved.bin" "$work/moved.xd" 2>&1 | tail -1)
  x_apply=$(median 1 "xdelta3 -d -f -B 536870912 -s '$work/big.bin' '$work/moved.xd' '$work/apply.bin'")
  cmp "$work/apply.bin" "$work/moved.bin"
  printf 'xdelta3 -e -B 512M: %.3f s, %d KiB, %d bytes of delta; -d applies it in %.3f s; quarnel-diff %.1fx as fast\n' \
    "$x_moved" "$x_rss" "$(stat -c %s "$work/moved.xd")" "$x_apply" "$(awk -v x="$x_moved" -v d="$d_moved" 'BEGIN { print x / d }')"
fi
if command -v bsdiff >/dev/null; then
  head -c $((16 << 20)) "$work/big.bin" >"$work/bsdiff_old.bin"
  head -c $((16 << 20)) "$work/moved.bin" >"$work/bsdiff_new.bin"
  b_time=$(median 1 "bsdiff '$work/bsdiff_old.bin' '$work/bsdiff_new.bin' '$work/bsdiff.patch'")
  b_rss=$(/usr/bin/time -f %M bsdiff "$work/bsdiff_old.bin" "$work/bsdiff_new.bin" "$work/bsdiff.patch" 2>&1 | tail -1)
  q_time=$(median "$runs" "$quarnel_diff '$work/bsdiff_old.bin' '$work/bsdiff_new.bin' >/dev/null")
  printf 'first 16 MiB of the pair: bsdiff %.3f s, %d KiB, %d bytes of patch; quarnel-diff %.3f s\n' \
    "$b_time" "$b_rss" "$(stat -c %s "$work/bsdiff.patch")" "$q_time"
  rm "$work"/bsdiff*
fi
rm -f "$work/moved.bin" "$work/moved.diff" "$work/moved.xd" "$work/apply.bin"

# Pairs shaped as real releases are (bench/make_pairs.py): the bytes a
# reviewer sees on quarnel-diff's - and + lines against the size of
# xdelta3 -9's and bsdiff's deltas (compressed, nothing to review), and the
# time each takes to make and to apply its own.
if command -v xdelta3 >/dev/null && command -v bsdiff >/dev/null; then
  echo
  printf '%-8s %9s %9s %8s %8s %8s %6s %9s %9s %9s
' pair "diff (s)" "apply (s)" shown     xdelta3 bsdiff ratio "xd3 (s)" "apply (s)" "bspatch"
  while read -r name old new; do
    q_time=$(median "$runs" "$quarnel_diff '$old' '$new' >'$work/pair.diff' || true")
    shown=$(awk '/^[-+][0-9A-F]+  / && !/ moved (to|from) / { hex = substr($0, index($0, "  ") + 2, 48); gsub(/[^0-9A-F]/, "", hex); n += length(hex) / 2 }
                 END { print n + 0 }' "$work/pair.diff")
    q_apply=$(median "$runs" "cp '$old' '$work/pair.bin' && $unquarnel -p '$work/pair.bin' '$work/pair.diff'")
    cmp "$work/pair.bin" "$new"
    x_time=$(median "$runs" "xdelta3 -9 -e -f -s '$old' '$new' '$work/pair.xd'")
    x_apply=$(median "$runs" "xdelta3 -d -f -s '$old' '$work/pair.xd' '$work/pair.bin'")
    bsdiff "$old" "$new" "$work/pair.bsdiff"
    b_apply=$(median "$runs" "bspatch '$old' '$work/pair.bin' '$work/pair.bsdiff'")
    cmp "$work/pair.bin" "$new"
    x_size=$(stat -c %s "$work/pair.xd")
    printf '%-8s %9.3f %9.3f %8d %8d %8d %5.1fx %9.3f %9.3f %9.3f
' "$name" "$q_time" "$q_apply" \
      "$shown" "$x_size" "$(stat -c %s "$work/pair.bsdiff")" \
      "$(awk -v s="$shown" -v x="$x_size" 'BEGIN { print s / x }')" "$x_time" "$x_apply" "$b_apply"
  done < <(python3 bench/make_pairs.py "$work/pairs")
  rm -rf "$work/pairs" "$work"/pair.*
fi

# Searching 512 MiB in the page cache (the random file twice) for a
# literal and for a pattern with a wildcard byte: quarnel-grep -c against
# ripgrep (-a --count-matches, which maps the file) and grep -P (-c counts
# lines, not matches: its figure is the time alone). The counts must agree.
cat "$work/big.bin" "$work/big.bin" >"$work/search.bin"
cat "$work/search.bin" >/dev/null
for pair in 'literal|"quarnel!"|quarnel!' 'wildcard|7F 45 ?? 46|(?s-u)\x7FE.F'; do
  IFS='|' read -r kind ours theirs <<<"$pair"
  g_count=$("$quarnel_grep" -c "$ours" "$work/search.bin" || true)
  g_time=$(median "$runs" "'$quarnel_grep' -c '$ours' '$work/search.bin' >/dev/null || true")
  g_rss=$( (/usr/bin/time -f %M "$quarnel_grep" -c "$ours" "$work/search.bin" 2>&1 >/dev/null || true) | tail -1)
  line="searching 512 MiB, $kind: quarnel-grep $g_time s, $g_rss KiB, $g_count matches"
  if command -v rg >/dev/null; then
    r_count=$(rg -a --count-matches "$theirs" "$work/search.bin" || echo 0)
    [[ $r_count == "$g_count" ]] || { echo "rg counts $r_count, quarnel-grep $g_count" >&2; exit 1; }
    r_time=$(median "$runs" "rg -a --count-matches '$theirs' '$work/search.bin' >/dev/null || true")
    r_rss=$( (/usr/bin/time -f %M rg -a --count-matches "$theirs" "$work/search.bin" 2>&1 >/dev/null || true) | tail -1)
    line+="; rg $r_time s, $r_rss KiB"
  fi
  # Not to /dev/null, where GNU grep stops at the first match.
  p_time=$(median "$runs" "LC_ALL=C grep -c -aP '${theirs#(?s-u)}' '$work/search.bin' >'$work/count.txt' || true")
  echo "$line; grep -P $p_time s"
done
c_rss=$( (/usr/bin/time -f %M "$quarnel_grep" -C 65536 "7F 45 ?? 46" "$work/search.bin" 2>&1 >/dev/null || true) | tail -1)
echo "quarnel-grep -C 65536 on 512 MiB (the most lines kept before a match): $c_rss KiB"
rm "$work/search.bin" "$work/count.txt"

# A tree of the system's libraries (TREE), in the page cache, searched for
# a string many of them hold: quarnel-grep -r against rg -a -uuu and
# grep -r -P. rg searches a file with several names (hard links) under each
# name, quarnel-grep once: rg's count is summed over distinct files (device
# and inode) to check it against quarnel-grep's.
tree=${TREE:-/usr/lib/x86_64-linux-gnu}
[[ -d $tree ]] || tree=/usr/lib
find "$tree" -type f -exec cat {} + >/dev/null 2>&1 || true
t_files=$(find "$tree" -type f | wc -l)
t_mib=$(( $(du -sk "$tree" | cut -f1) >> 10 ))
g_count=$("$quarnel_grep" -r -c '"GLIBC_2.3"' "$tree" </dev/null | awk -F: '{ s += $NF } END { print s }')
g_time=$(median "$runs" "'$quarnel_grep' -r -c '\"GLIBC_2.3\"' '$tree' </dev/null >/dev/null || true")
line="searching $tree ($t_files files, $t_mib MiB) with -r: quarnel-grep $g_time s, $g_count matches"
if command -v rg >/dev/null; then
  r_count=$(rg -a -uuu --count-matches -F GLIBC_2.3 "$tree" | while IFS= read -r found; do
    echo "$(stat -c %d:%i "${found%:*}") ${found##*:}"
  done | sort -u | awk '{ s += $2 } END { print s }')
  [[ $r_count == "$g_count" ]] || { echo "rg -r counts $r_count, quarnel-grep $g_count" >&2; exit 1; }
  r_time=$(median "$runs" "rg -a -uuu --count-matches -F GLIBC_2.3 '$tree' >/dev/null || true")
  line+="; rg -uuu $r_time s"
fi
p_time=$(median "$runs" "LC_ALL=C grep -r -c -aP 'GLIBC_2\.3' '$tree' >'$work/count.txt' || true")
echo "$line; grep -r -P $p_time s"

# 1,000 patterns of 8 to 16 hex digits, each taken from 512 MiB of hex text
# (xxd -p of random bytes), searched for in one run: quarnel-grep -c -f
# against rg -a -F -f --count-matches. Patterns that long do not overlap
# by chance, so both count the same matches.
xxd -p -l $((256 << 20)) "$work/big.bin" >"$work/hex.txt"
awk -v seed=7 'BEGIN { srand(seed) } NR % 700 == 1 && n < 1000 {
    len = 8 + int(rand() * 9); print substr($0, 1 + int(rand() * (60 - len)), len); n++ }' \
  "$work/hex.txt" >"$work/plain-patterns.txt"
sed 's/.*/"&"/' "$work/plain-patterns.txt" >"$work/patterns.txt"
cat "$work/hex.txt" >/dev/null
g_count=$("$quarnel_grep" -c -f "$work/patterns.txt" "$work/hex.txt" || true)
g_time=$(median "$slow_runs" "'$quarnel_grep' -c -f '$work/patterns.txt' '$work/hex.txt' >/dev/null || true")
g_rss=$( (/usr/bin/time -f %M "$quarnel_grep" -c -f "$work/patterns.txt" "$work/hex.txt" 2>&1 >/dev/null || true) | tail -1)
line="$(wc -l <"$work/patterns.txt") patterns over 512 MiB of hex text: quarnel-grep $g_time s, $g_rss KiB, $g_count matches"
if command -v rg >/dev/null; then
  r_count=$(rg -a -F --count-matches -f "$work/plain-patterns.txt" "$work/hex.txt" || echo 0)
  [[ $r_count == "$g_count" ]] || { echo "rg -f counts $r_count, quarnel-grep $g_count" >&2; exit 1; }
  r_time=$(median "$slow_runs" "rg -a -F --count-matches -f '$work/plain-patterns.txt' '$work/hex.txt' >/dev/null || true")
  line+="; rg -F -f $r_time s"
fi
echo "$line"
rm "$work/hex.txt" "$work/patterns.txt" "$work/plain-patterns.txt" "$work/count.txt"

# The other tools' layouts: quarnel-as against the tools themselves on 64
# MiB of random bytes to /dev/null, after checking that the output is the
# same, and quarnel's own dump of the same bytes.
head -c $((64 << 20)) "$work/big.bin" >"$work/layouts.bin"
q_own=$(median "$runs" "$quarnel '$work/layouts.bin' >/dev/null")
echo "quarnel's own dump of 64 MiB: $q_own s"
for pair in 'xxd -c 16 -g 2|xxd -c 16 -g 2' 'xxd -c 32 -g 4|xxd -c 32 -g 4' 'xxd -i|xxd-c' \
  'xxd -p|xxd-plain' 'hexdump -C|hexdump'; do
  IFS='|' read -r theirs ours <<<"$pair"
  cmp <($theirs "$work/layouts.bin") <("$quarnel_as" $ours "$work/layouts.bin")
  a_time=$(median "$runs" "'$quarnel_as' $ours '$work/layouts.bin' >/dev/null")
  a_rss=$( (/usr/bin/time -f %M "$quarnel_as" $ours "$work/layouts.bin" 2>&1 >/dev/null) | tail -1)
  count=$runs
  [[ $theirs == hexdump* ]] && count=$slow_runs
  t_time=$(median "$count" "$theirs '$work/layouts.bin' >/dev/null")
  awk -v o="$ours" -v t="$theirs" -v a="$a_time" -v r="$a_rss" -v p="$t_time" -v q="$q_own" \
    'BEGIN { printf "quarnel-as %s: %.3f s, %d KiB; %s %.3f s: %.0fx; %.2f of quarnel'"'"'s own speed\n", o, a, r, t, p, p / a, q / a }'
done
rm "$work/layouts.bin"

# Patching: every byte of a 64 MiB file rewritten from a full dump, by
# unquarnel -p (which first writes the old bytes to its journal and flushes
# it, then flushes the file), by unquarnel -p --no-journal, and by xxd -r
# into the same file from xxd's own dump. On tmpfs the flush costs nothing.
head -c $((64 << 20)) /dev/urandom >"$work/patch.bin"
head -c $((64 << 20)) /dev/urandom >"$work/target.bin"
"$quarnel" "$work/patch.bin" >"$work/patch.txt"
xxd "$work/patch.bin" >"$work/patch.xxd"
"$unquarnel" -p "$work/target.bin" "$work/patch.txt"
cmp "$work/target.bin" "$work/patch.bin"
shm=$(mktemp -d /dev/shm/quarnel.XXXXXX)
trap 'rm -rf "$work" "$shm"' EXIT
cp "$work/target.bin" "$shm/target.bin"
p_disk=$(median "$runs" "$unquarnel -p '$work/target.bin' '$work/patch.txt'")
p_shm=$(median "$runs" "$unquarnel -p '$shm/target.bin' '$work/patch.txt'")
p_bare=$(median "$runs" "$unquarnel -p '$work/target.bin' --no-journal '$work/patch.txt'")
x_disk=$(median "$runs" "xxd -r '$work/patch.xxd' '$work/target.bin'")
cmp "$work/target.bin" "$work/patch.bin"
awk -v d="$p_disk" -v m="$p_shm" -v b="$p_bare" -v x="$x_disk" \
  'BEGIN { printf "patching 64 MiB: unquarnel -p %.3f s on disk, with its journal and the flushes (%.3f s on tmpfs, where a flush is free; %.3f s with --no-journal); xxd -r %.3f s, no flush; %.1fx (%.1fx without the journal)\n", d, m, b, x, x / d, x / b }'
rss=$(/usr/bin/time -f %M "$unquarnel" -p "$work/target.bin" "$work/patch.txt" 2>&1)
echo "peak resident memory of unquarnel -p patching 64 MiB: $rss KiB"
rm -r "$work/patch.bin" "$work/target.bin" "$work/patch.txt" "$work/patch.xxd" "$shm"

# Reaching a far start offset: a seek, where a file allows it, instead of
# reading 2 GiB. The file is sparse: reading it would be faster than from disk.
truncate -s 2G "$work/sparse.bin"
far_q=$(median "$runs" "$quarnel -x7FFFFF00 '$work/sparse.bin' | head -2 >/dev/null")
far_x=$(median "$runs" "xxd -s 0x7FFFFF00 '$work/sparse.bin' | head -2 >/dev/null")
awk -v q="$far_q" -v x="$far_x" \
  'BEGIN { printf "first two lines at a 2 GiB offset: quarnel %.1f ms, xxd %.1f ms\n", q * 1000, x * 1000 }'

small_runs=1000
loop() { echo "for ((i = 0; i < $small_runs; i++)); do $1 '$work/small.bin' >/dev/null; done"; }
q_small=$(median 3 "$(loop "$quarnel")")
x_small=$(median 3 "$(loop xxd)")
awk -v q="$q_small" -v x="$x_small" -v n="$small_runs" \
  'BEGIN { printf "100-byte file, per run: quarnel %.3f ms, xxd %.3f ms\n", q / n * 1000, x / n * 1000 }'

# The vector paths against the portable ones, in one run of each build: the
# native one, and the ARM64 one under qemu where the cross compiler and
# qemu are installed. Emulated figures show the ratio of the instructions
# qemu runs, not the speed of real hardware.
echo
echo "paths on this machine:"
build/bench/paths_bench
if command -v qemu-aarch64-static >/dev/null && command -v aarch64-linux-gnu-g++ >/dev/null; then
  cmake --preset arm64 >/dev/null
  cmake --build --preset arm64 --target paths_bench >/dev/null
  echo "paths on ARM64, under qemu-aarch64-static (emulated):"
  qemu-aarch64-static -L /usr/aarch64-linux-gnu build/arm64/paths_bench
fi

# The viewer, beside less on quarnel's dump and hexedit (Debian's hexedit
# package): the time to the first screen and the memory on a pseudo-terminal,
# then the time of a key, the picture and a search, measured inside.
if [[ -x build/bench/view_bench ]] && command -v hexedit >/dev/null; then
  echo
  echo "quarnel-view:"
  truncate -s 100G "$work/sparse-100g.bin"
  head -c 1G /dev/urandom >"$work/1g.bin"
  build/bench/view_bench build/bench/quarnel-view "$quarnel" "$work/sparse-100g.bin" "$work/1g.bin"
  g_1g=$(median "$runs" "$quarnel_grep -c '51 55 41 52 4E 45 4C 21' '$work/1g.bin' >/dev/null || true")
  awk -v g="$g_1g" 'BEGIN { printf "quarnel-grep through the same 1 GiB: %.2f s\n", g }'
fi
