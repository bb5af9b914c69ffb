#!/usr/bin/env bash
# The mutation run: how many small faults in the core does the core suite
# catch? Each mutant of the list at the end of this file is put into the
# source alone, the core is built (no Qt) and the tests labelled unit,
# integration and faults are run; a mutant is caught when the build or a test
# fails.
#
#   bash tools/mutants.sh              run every mutant
#   bash tools/mutants.sh -v           ... and name the tests that failed
#   bash tools/mutants.sh ID...        run the named mutants only
#   bash tools/mutants.sh --list [-v]  print the mutants (with their edits), run nothing
#
# It builds in its own folder (build/mutants), at low priority, and runs the
# tests inside /work/bin/isolated where that exists. A test that hangs ends
# at the per-test limit and counts as caught. The edited files are restored
# after each mutant, also when the run is interrupted; the run refuses to
# start while those files have changes of their own. Slow (the core suite
# takes about a minute and a half on two cores; a caught mutant ends at the
# first test that fails, a missed one runs them all; well over an hour for
# the whole list): neither tools/test.sh nor CI runs it.
#
# Settings (environment):
#   MUTANTS_BUILD_DIR  build folder (build/mutants)
#   MUTANTS_JOBS       parallel build jobs and tests (2)
#   MUTANTS_TIMEOUT    seconds a single test may take (60)
#   MUTANTS_TARGET     the share to be caught, in percent (90); below it, or
#                      with a stale mutant, the exit status is 1
#   VALDORA_FAULT_SEED the kill test's seed (1 here, so runs can be compared)
#
# A mutant is data, in the list at the end of this file:
#
#   == ID WHERE [every]
#   # what the fault is, in one line
#   - the original text, one line each (a lone "-" is an empty line)
#   + its replacement, one line each (no "+" line: the text is removed)
#
# WHERE is a file or a folder of the product, or several joined by ",": the
# text is looked for in every .cpp and .h file there, so a mutant follows its
# code when that moves to another file of the folder. The text must occur
# exactly once (with "every": at least once, and every occurrence is
# replaced). A text that is not found, or found more than once, makes the
# mutant STALE: it is reported and counted apart, never as caught; correct
# its text to the code as it now reads. A mutant must compile: one that
# does not is counted as caught by the compiler and says nothing about the
# tests. Prefer conditions, constants and format strings over whole
# statements, whose layout changes more often than their meaning.
set -euo pipefail
shopt -u patsub_replacement 2>/dev/null || true
cd "$(dirname "$0")/.."
root=$PWD

build_dir=${MUTANTS_BUILD_DIR:-build/mutants}
jobs=${MUTANTS_JOBS:-2}
test_timeout=${MUTANTS_TIMEOUT:-60}
target=${MUTANTS_TARGET:-90}
export VALDORA_FAULT_SEED=${VALDORA_FAULT_SEED:-1}
labels='unit|integration|faults'

list_only=0
verbose=0
selected=()
for arg in "$@"; do
    case $arg in
    --list) list_only=1 ;;
    -v | --verbose) verbose=1 ;;
    -h | --help)
        sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'
        exit 0
        ;;
    -*)
        echo "mutants.sh: unknown option $arg (see --help)" >&2
        exit 2
        ;;
    *) selected+=("$arg") ;;
    esac
done

# ---------------------------------------------------------------- the list

ids=() wheres=() everys=() descriptions=() froms=() tos=()

parse_mutants() {
    local line n=-1 have_from=() have_to=() nl=$'\n'
    while IFS= read -r line; do
        case $line in
        '== '*)
            local fields
            read -r -a fields <<<"${line#== }"
            n=$((n + 1))
            ids[n]=${fields[0]:-}
            wheres[n]=${fields[1]:-}
            everys[n]=0
            [[ ${fields[2]:-} == every ]] && everys[n]=1
            descriptions[n]='' froms[n]='' tos[n]=''
            have_from[n]=0 have_to[n]=0
            ;;
        '# '*) descriptions[n]=${line#\# } ;;
        - | '- '*)
            line=${line#-}
            line=${line# }
            if ((have_from[n])); then froms[n]+=$nl$line; else froms[n]=$line; fi
            have_from[n]=1
            ;;
        + | '+ '*)
            line=${line#+}
            line=${line# }
            if ((have_to[n])); then tos[n]+=$nl$line; else tos[n]=$line; fi
            have_to[n]=1
            ;;
        '') ;;
        *)
            echo "mutants.sh: a line of the list that is none of ==, #, -, +: $line" >&2
            exit 2
            ;;
        esac
    done < <(sed -n '/^: <<.MUTANTS.$/,/^MUTANTS$/p' "$0" | sed '1d;$d')
    local i j
    for i in "${!ids[@]}"; do
        if [[ -z ${ids[i]} || -z ${wheres[i]} || -z ${descriptions[i]} ]] || ((!have_from[i])); then
            echo "mutants.sh: mutant $((i + 1)) (${ids[i]:-no id}) lacks its place, text or description" >&2
            exit 2
        fi
        if [[ ${froms[i]} == "${tos[i]}" ]]; then
            echo "mutants.sh: mutant ${ids[i]} changes nothing" >&2
            exit 2
        fi
        for ((j = 0; j < i; j++)); do
            if [[ ${ids[j]} == "${ids[i]}" ]]; then
                echo "mutants.sh: two mutants are called ${ids[i]}" >&2
                exit 2
            fi
        done
    done
}

# The .cpp and .h files of WHERE, as git knows them.
files_of() {
    local IFS=,
    local -a places
    read -r -a places <<<"$1"
    git ls-files -- "${places[@]}" | grep -E '\.(cpp|h)$' || true
}

count_in() { # TEXT NEEDLE
    local hay=$1 n=0
    while [[ $hay == *"$2"* ]]; do
        hay=${hay#*"$2"}
        n=$((n + 1))
    done
    echo "$n"
}

read_whole() { # FILE -> $content, byte for byte (the sources hold no NUL)
    content=''
    IFS= read -r -d '' content <"$1" || true
}

# Finds mutant I: sets $found (the files holding its text) and $stale (why it
# cannot be applied, or empty).
locate() {
    local i=$1 f n total=0
    found=() stale=''
    while IFS= read -r f; do
        read_whole "$f"
        n=$(count_in "$content" "${froms[i]}")
        if ((n > 0)); then
            found+=("$f")
            total=$((total + n))
        fi
    done < <(files_of "${wheres[i]}")
    if ((total == 0)); then
        stale="text not found in ${wheres[i]}"
    elif ((!everys[i] && total > 1)); then
        stale="text found $total times in ${wheres[i]}"
    fi
}

# ------------------------------------------------------ applying, restoring

state_dir=''
restore_files=()

restore() {
    local k f
    for k in "${!restore_files[@]}"; do
        f=${restore_files[k]}
        cat "$state_dir/backup.$k" >"$f" # a new time, so the build sees the change back
        if ! cmp -s "$state_dir/backup.$k" "$f"; then
            echo "mutants.sh: could not restore $f (its original is $state_dir/backup.$k)" >&2
            exit 3
        fi
    done
    restore_files=()
}

apply() {
    local i=$1 f k=0
    for f in "${found[@]}"; do
        cp -- "$f" "$state_dir/backup.$k"
        restore_files[k]=$f
        read_whole "$f"
        if ((everys[i])); then
            printf '%s' "${content//"${froms[i]}"/"${tos[i]}"}" >"$f"
        else
            printf '%s' "${content/"${froms[i]}"/"${tos[i]}"}" >"$f"
        fi
        k=$((k + 1))
    done
}

# The current job (build or test run) in a process group of its own, so an
# interrupted run ends it whole.
job=''
run_job() { # LOG COMMAND... (the output is added to LOG)
    local log=$1 rc=0
    shift
    "$@" </dev/null >>"$log" 2>&1 &
    job=$!
    wait "$job" || rc=$?
    job=''
    return "$rc"
}

# shellcheck disable=SC2317 # called by the trap
on_exit() {
    local rc=$?
    if [[ -n $job ]]; then
        kill -TERM -- "-$job" 2>/dev/null || true
        wait "$job" 2>/dev/null || true
    fi
    restore
    [[ -n $state_dir ]] && rm -rf -- "$state_dir"
    ((rc == 130 || rc == 143)) && printf "\ninterrupted; the files are restored\n" >&2
    exit "$rc"
}

# ---------------------------------------------------------------- printing

print_edit() { # I
    local line
    while IFS= read -r line; do printf '      - %s\n' "$line"; done <<<"${froms[$1]}"
    if [[ -n ${tos[$1]} ]]; then
        while IFS= read -r line; do printf '      + %s\n' "$line"; done <<<"${tos[$1]}"
    else
        printf '      + (removed)\n'
    fi
}

duration() { # SECONDS
    if (($1 >= 60)); then printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); else printf '%d s' "$1"; fi
}

# -------------------------------------------------------------------- main

parse_mutants

chosen=()
if ((${#selected[@]})); then
    for id in "${selected[@]}"; do
        hit=''
        for i in "${!ids[@]}"; do [[ ${ids[i]} == "$id" ]] && hit=$i; done
        if [[ -z $hit ]]; then
            echo "mutants.sh: no mutant called $id (see --list)" >&2
            exit 2
        fi
        chosen+=("$hit")
    done
else
    chosen=("${!ids[@]}")
fi
total=${#chosen[@]}

if ((list_only)); then
    stale_count=0
    for i in "${chosen[@]}"; do
        locate "$i"
        if [[ -n $stale ]]; then
            state="STALE: $stale"
            stale_count=$((stale_count + 1))
        else
            state=$(
                IFS=' '
                echo "${found[*]}"
            )
        fi
        printf '%-26s %s\n  %s\n' "${ids[i]}" "$state" "${descriptions[i]}"
        ((verbose)) && print_edit "$i"
    done
    echo "$total mutants, $stale_count stale"
    ((stale_count == 0)) || exit 1
    exit 0
fi

# Only what the mutants touch has to be clean: it is restored from the
# committed state's copy, and a change of one's own must not be counted.
mapfile -t places < <(for i in "${chosen[@]}"; do tr ',' '\n' <<<"${wheres[i]}"; done | sort -u)
dirty=$(git status --porcelain -- "${places[@]}")
if [[ -n $dirty ]]; then
    echo "mutants.sh: these files have changes; commit or stash them first:" >&2
    echo "$dirty" >&2
    echo "(a run killed outright leaves its mutant in place: git diff shows it, git checkout undoes it)" >&2
    exit 2
fi

set -m # each job in a process group of its own
state_dir=$(mktemp -d "${TMPDIR:-/tmp}/valdora-mutants.XXXXXX")
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export CCACHE_NOHASHDIR=1
if [[ -z ${CCACHE_BASEDIR:-} ]]; then
    if [[ $root == /work/* ]]; then export CCACHE_BASEDIR=/work; else export CCACHE_BASEDIR=$root; fi
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
isolate=()
[[ -x /work/bin/isolated ]] && isolate=(/work/bin/isolated)

log_dir=$build_dir/mutant-logs
mkdir -p "$log_dir"
rm -f "$log_dir"/*.log

# Warnings stay warnings: a mutant that only draws one is still tested.
echo "configuring $build_dir (no Qt)"
run_job "$log_dir/configure.log" nice -n 15 cmake -S . -B "$build_dir" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVALDORA_BUILD_UI=OFF -DVALDORA_WERROR=OFF \
    "${launcher[@]}" || {
    echo "mutants.sh: configuring failed, see $log_dir/configure.log" >&2
    exit 2
}

build() { run_job "$1" nice -n 15 cmake --build "$build_dir" -j "$jobs"; }
# With a mutant in, the run ends at the first test that fails: that one
# caught it (those already running finish).
run_tests() {
    rm -f "$build_dir/Testing/Temporary/LastTestsFailed.log"
    run_job "$1" nice -n 15 "${isolate[@]}" ctest --test-dir "$root/$build_dir" -L "$labels" \
        -j "$jobs" --timeout "$test_timeout" --output-on-failure ${2:+--stop-on-failure}
}
failed_tests() { # the tests of the last run that failed, "(timeout)" after those that hung
    local file=$build_dir/Testing/Temporary/LastTestsFailed.log name
    [[ -f $file ]] || return 0
    while IFS= read -r name; do
        name=${name#*:}
        if grep -qE "[0-9]+: ${name//./\\.} .*\*\*\*Timeout" "$1"; then
            echo "$name (timeout)"
        else
            echo "$name"
        fi
    done <"$file"
}

start=$SECONDS
echo "baseline: building and running the core suite without a mutant"
build "$log_dir/baseline-build.log" || {
    echo "mutants.sh: the unchanged code does not build, see $log_dir/baseline-build.log" >&2
    exit 2
}
if ! run_tests "$log_dir/baseline.log"; then
    echo "mutants.sh: the suite fails without a mutant, see $log_dir/baseline.log:" >&2
    failed=$(failed_tests "$log_dir/baseline.log")
    [[ -n $failed ]] || failed=$(tail -n 5 "$log_dir/baseline.log")
    printf '%s\n' "$failed" | sed 's/^/  /' >&2
    exit 2
fi
echo "baseline passes ($(duration $((SECONDS - start))))"

caught=0 missed=0 stale_count=0 by_compiler=0 by_timeout=0
missed_ids=() stale_ids=() compiler_ids=()
n=0
for i in "${chosen[@]}"; do
    n=$((n + 1))
    id=${ids[i]}
    began=$SECONDS
    printf '[%2d/%d] ' "$n" "$total"
    locate "$i"
    if [[ -n $stale ]]; then
        printf '%-8s %-26s %s\n' STALE "$id" "($stale)"
        stale_count=$((stale_count + 1))
        stale_ids+=("$id")
        continue
    fi
    apply "$i"
    log=$log_dir/$id.log
    verdict='' detail=()
    if ! build "$log"; then
        verdict='CAUGHT'
        detail=('the build failed: a mutant must compile; replace it')
        by_compiler=$((by_compiler + 1))
        compiler_ids+=("$id")
    elif ! run_tests "$log" stop; then
        verdict='CAUGHT'
        mapfile -t detail < <(failed_tests "$log" | sed 's/^/failed: /')
        ((${#detail[@]})) || detail=('the test run failed (see the log)')
        [[ ${detail[*]} == *'(timeout)'* ]] && by_timeout=$((by_timeout + 1))
    else
        verdict='MISSED'
        missed_ids+=("$id")
    fi
    restore
    [[ $verdict == CAUGHT ]] && caught=$((caught + 1)) || missed=$((missed + 1))
    printf '%-8s %-26s %s (%s)\n' "$verdict" "$id" "${descriptions[i]}" "$(duration $((SECONDS - began)))"
    if ((verbose)); then
        printf '         in %s\n' "${found[*]}"
        for line in "${detail[@]}"; do printf '         %s\n' "$line"; done
    fi
done

# The files are as committed again.
after=$(git status --porcelain -- "${places[@]}")
if [[ -n $after ]]; then
    echo "mutants.sh: files still differ after the run:" >&2
    echo "$after" >&2
    exit 3
fi

run=$((caught + missed))
echo
if ((run > 0)); then
    percent=$(awk -v c="$caught" -v r="$run" 'BEGIN { printf "%.1f", 100 * c / r }')
else
    percent=0
fi
echo "caught $caught of $run ($percent%)"
((by_compiler)) && echo "  $by_compiler of them by the compiler: ${compiler_ids[*]}"
((by_timeout)) && echo "  $by_timeout of them by a test that hung (ended at ${test_timeout} s)"
((missed)) && echo "missed: ${missed_ids[*]}"
((stale_count)) && echo "stale (not run, not counted): ${stale_ids[*]}"
echo "time: $(duration $((SECONDS - start))); logs in $log_dir"

awk -v c="$caught" -v r="$run" -v t="$target" 'BEGIN { exit !(r > 0 && 100 * c >= t * r) }' || exit 1
((stale_count == 0)) || exit 1
exit 0

# The mutants: patch/, net/, servers/ (the engine), settings/, window/ (the
# window's shared part), log/, platform/. Read by parse_mutants, never run.
# shellcheck disable=SC2317
: <<'MUTANTS'
== hour-tolerance patch
# file times two hours apart pass as the same: the hour tolerance is off by one
- hours <= 1
+ hours <= 2

== time-day-ignored patch
# the day of the month is left out of the time comparison
- a.day == b.day &&

== size-check-shorter patch
# only a local file shorter than listed counts as different in size
- actual != size
+ actual < size

== size-limit-boundary patch
# exactly 70 MiB to download already sends the player to reinstall
- !(bytesTotal > kMaxDownloadBytes)
+ !(bytesTotal >= kMaxDownloadBytes)

== launcher-not-alone patch
# a new launcher is downloaded together with the rest of the list, not alone
- entries.assign(1,
+ (void)(

== stop-leaves-transfers patch
# a stop no longer ends the transfers in flight: the run waits for them
- if (context_.stop.is_set()) {
+ if (false) {

== temp-kept-after-failure patch
# a scratch file no later run can use is never deleted at the end of the downloads
- platform::delete_file(names.file);

== speed-post-limit patch
# the speed is posted when exactly one second has passed, not only after it
- !(interval > 1.0)
+ !(interval >= 1.0)

== progress-halves-swapped patch
# the progress reported gives the file's position as the run's, and the run's as the file's
- report.Progress({position(bytesDone, bytesTotal), filePosition,
+ report.Progress({filePosition, position(bytesDone, bytesTotal),

== counter-order patch
# the file counter reads "Dosya: total / done"
- std::to_string(progress.filesDone) + " / " +
-                        std::to_string(progress.filesTotal);
+ std::to_string(progress.filesTotal) + " / " +
+                        std::to_string(progress.filesDone);

== remaining-minutes patch
# the remaining time shows all minutes beside the hours ("1s 62dk")
- seconds / 60 % 60
+ seconds / 60

== list-no-final-break patch
# an update list without its final line break is accepted
- if (!fault_.empty() || lines_ < 2 || (lines_ - 2) % 3 != 0) return false;
+ if (!fault_.empty() || lines_ < 2 || (lines_ + !partial_.empty() - 2) % 3 != 0) return false;

== list-line-count patch
# an update list cut inside a file's three lines is accepted
- (lines_ - 2) % 3 != 0
+ (lines_ - 2) % 3 == 2

== list-path-slashes patch
# "/" in a list path is kept instead of becoming "\"
- std::replace(entry.path.begin(), entry.path.end(), '/', '\\');

== safe-path-backslash patch every
# a ".." between backslashes is not seen as leaving the game directory
- find_first_of("/\\", start)
+ find_first_of("/", start)

== url-space patch
# a space in a file's path goes into its URL unencoded
- c == '~' || c == '/';
+ c == '~' || c == '/' || c == ' ';

== url-raw-cp1254 patch
# a file is asked for by the list's CP1254 bytes, not by its UTF-8 name
- std::string name = platform::cp1254_to_utf8(path);
+ std::string name(path);

== stale-cache-trusted patch
# a list and a manifest of different releases are refused without asking again
- for (const bool fresh : {false, true}) {
+ for (const bool fresh : {false}) {

== installed-hash-ignored patch
# a file rebuilt under the same size and hour is never fetched again
- return installed != nullptr && *installed != *release;
+ return false;

== self-update-size patch
# a new launcher that only adds bytes at its end is taken as the same
- || sizeA != sizeB

== copied-not-renamed patch
# a downloaded file is copied over the game file instead of renamed: the list's time is lost
- replace_file(scratch, file_.entry->path)
+ copy_file(scratch, file_.entry->path)

== folders-backslash patch
# folders of a list path are split at "/" only, so "a\b\c" makes no "a" first
- (c == '\\' || c == '/')
+ (c == '/')

== server-field-order servers
# the game's two arguments come from the server list's fields in the wrong order
- gameArg1;  // field 4
-     std::string gameArg2;
+ gameArg2;  // field 4
+     std::string gameArg1;

== server-six-fields servers
# a server line with more than five fields is taken
- size() != 5) return;
+ size() < 5) return;

== server-bad-line-skipped servers
# a malformed server line is skipped instead of ending the list
- size() != 5) return;
+ size() != 5) continue;

== server-retry-ignores-stop servers
# asking again for an empty server list goes on after the run was asked to stop
- if (wait(delay.Next())) return 0;
+ if (wait(delay.Next())) {}

== http-error-as-body net
# an HTTP error status delivers its error page as the body
- CURLOPT_FAILONERROR, 1L
+ CURLOPT_FAILONERROR, 0L

== no-content-decoding net
# a compressed reply is stored as it came, not decoded
- curl_easy_setopt(handle_, CURLOPT_ACCEPT_ENCODING, identity ? nullptr : "");

== fetch-keeps-broken-body net
# a fetch that failed half-way answers the part that came
- std::string().swap(response);  // what a refused body left
-     return std::string();
+ return response;

== fetch-ignores-stop net
# a list or server-list fetch cannot be abandoned
- stop_requested_() ? 1 : 0
+ stop_requested_() ? 0 : 0

== progress-slot-silent net
# libcurl never calls the progress slot: no progress, no stop
- CURLOPT_NOPROGRESS, 0L
+ CURLOPT_NOPROGRESS, 1L

== settings-line-cr settings/settings_file.cpp
# settings lines end LF instead of CR LF
- out += "\r\n";
+ out += "\n";

== settings-table-bound settings/settings_file.cpp
# an index one past a table's end still gets derived lines
- static_cast<std::size_t>(index) < N
+ static_cast<std::size_t>(index) <= N

== settings-hdr-number settings/settings_file.cpp
# "HDREnabled 01" (or any other number) turns the glare effect on
- prefs_.hdrEnabled = value.Is("1");
+ prefs_.hdrEnabled = value.Number() != 0;

== settings-folder-not-made settings/preferences_store.cpp
# the settings folder is not made: a first start cannot write its settings
- platform::create_directory(settings::kSettingsDirectory);

== memory-minimum settings/preferences_store.cpp
# exactly 300 MiB of memory is refused
- mib < kMinimumMiB
+ mib <= kMinimumMiB

== memory-tier-bound settings/preferences_store.cpp
# a machine exactly at a tier's memory gets the tier below
- mib < tier.fromMiB
+ mib <= tier.fromMiB

== log-line-cr log
# a log line ends CR LF instead of CR CR LF
- text += "\r\r\n";
+ text += "\r\n";

== log-text-mode log
# a line feed inside a log message goes to disk without its CR
- if (*text == '\n') out += '\r';

== log-header-every-line log
# the header line is written before every log line, not once per process
- g_headerPending.exchange(false)
+ g_headerPending.load()

== log-month log,platform
# the log's date shows the month one too low
- tm_mon + 1
+ tm_mon

== cp1254-byte platform
# the byte 0xD0 stands for "Ð" (code page 1252) instead of "Ğ"
- 0x011E, 0x00D1
+ 0x00D0, 0x00D1

== native-path-backslash platform
# "\" in a launcher path is not turned into "/" for the file system
- std::replace(out.begin(), out.end(), '\\', '/');

== create-keeps-old-entry platform
# a file the launcher makes new ("~temp.dat", a side file) is not made anew over a link or a hard link in its place
- ::unlinkat(at, name, 0);
+ ::unlinkat(at, "", 0);

== stamp-follows-link platform
# a game file's time is set on what a link in its place leads to, outside the game directory too
- if (::utimensat(place.at, place.name, times, AT_SYMLINK_NOFOLLOW) != 0) {
+ if (::utimensat(place.at, place.name, times, 0) != 0) {

== write-not-beneath platform
# a folder link that leads out of the game directory is followed by the writes
- how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
+ how.resolve = RESOLVE_NO_MAGICLINKS;

== resume-shared-file platform
# a partial that another name shares is appended to
- : st.st_nlink > 1       ? EMLINK
+ : st.st_nlink > 9       ? EMLINK

== attributes-of-folder platform
# a folder where a file is listed opens as that file
- if (S_ISDIR(st.st_mode)) {
-         set_last_error(EISDIR);
-         return File();
+ if (false) {
+         set_last_error(EISDIR);
+         return File();

== replace-loses-mode platform
# a file moved into place loses the mode of the file it replaces
- if (ok && ::fchmod(fd, mode) != 0) ok = fail_with_errno();

== copy-not-renamed platform
# a file written beside its target (a copy) is never renamed into place
- if (ok && ::renameat(target.at, partial.c_str(), target.at, target.name) != 0) {
+ if (ok && false) {

== size-saturates platform
# a size of 4 GiB or more reads as 4 GiB - 1 instead of its low 32 bits
- bytes = static_cast<std::uint32_t>(full);
+ bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(full, 0xFFFFFFFF));

== leap-century platform
# every year divisible by 4 is a leap year, 2100 included
- (year % 4 == 0 && year % 100 != 0) || year % 400 == 0
+ year % 4 == 0

== event-set-wakes-nobody platform/event.cpp
# setting an event wakes its waiters only at the end of their wait
- changed_.notify_all();

== named-event-consumed platform
# a named event's wait takes the signal away from later waits
- ::sem_post(sem_);

== marker-shared-lock platform
# the running-launcher marker takes a shared lock: a second launcher gets it too
- LOCK_EX | LOCK_NB
+ LOCK_SH | LOCK_NB

== older-launcher-newer platform
# a launcher started after this one counts as an older one
- if (!started || *started >= *ourStart) continue;
+ if (!started) continue;

== older-launcher-anywhere platform
# a launcher working in another game directory counts as ours to end
- cwd.st_dev == here.st_dev && cwd.st_ino == here.st_ino;
+ cwd.st_dev == here.st_dev;

== runtime-dir-writable platform
# a runtime folder that others can write to is trusted for the markers
- (st.st_mode & 0022) == 0
+ true
== others-write-sticky platform
# a sticky folder, or one its group may write, counts as the player's alone
- return st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
+ return st.st_uid != ::geteuid() || (st.st_mode & (S_IWOTH | S_ISVTX)) == S_IWOTH;

== release-replay-by-one trust
# a signed list one version older than the one accepted before is taken
- } else if (info.version < minimumVersion) {
+ } else if (info.version + 1 < minimumVersion) {

== release-expiry-ignored trust
# an expired signed list is taken
- } else if (info.expiresUnix && *info.expiresUnix <= nowUnix) {
+ } else if (info.expiresUnix && *info.expiresUnix <= 0) {

== release-product-ignored trust
# a list signed for another product is taken
- info.product != kProduct
+ info.product.empty()

== list-time-any patch
# a list time that names no moment (31.02.2024) is taken, and its file fetched on every run
- return platform::system_time_to_unix(ReadTimeText(text), seconds);
+ return platform::system_time_to_unix(ReadTimeText(text), seconds) || !text.empty();

== list-reserved-case patch
# a list may name the launcher's own files in other letter case
- if ((i >= 'a' && i <= 'z') || (i >= 0xE0 && i <= 0xFE && i != 0xF7)) folded = i - 0x20;
+ if (i >= 0xE0 && i <= 0xFE && i != 0xF7) folded = i - 0x20;

== list-dotless-i patch
# a list may name "base/ınstalled.sha256", the install record on Windows, where "ı" is "I"
- if (i == 0xFD || i == 0xDD || i == 'i') folded = 'I';
+ if (i == 0xDD || i == 'i') folded = 'I';

== list-trailing-dot patch
# "launcher.exe." or "base./x" is taken, though Windows opens "launcher.exe" and "base/x"
- if (part.back() == '.' || part.back() == ' ') {
+ if (part.back() == ' ') {

== list-device-extension patch
# "aux.dat" is taken, though Windows opens the device AUX for it
- std::string_view stem = name.substr(0, name.find('.'));
+ std::string_view stem = name;

== list-stream patch
# "launcher.exe::$DATA" is taken, the launcher itself on Windows
- if (part.find_first_of("<>:\"|?*") != std::string_view::npos) {
+ if (part.find_first_of("<>\"|?*") != std::string_view::npos) {

== list-short-name patch
# "LAUNCH~1.EXE" is taken, which may be the launcher itself on Windows
- if (IsShortName(part)) {
+ if (false) {

== list-case-twice patch
# "maps/x.map" and "MAPS/x.map" are taken together: one file on Windows, written twice
- if (!files_.Insert(hash)) {
+ if (!files_.Insert(hash) && false) {

== list-launcher-case patch
# "_Launcher.DLL" is listed as a game file, though on Windows it is the launcher's update
- if (SameFolded(path, kLauncherFile) && path != kLauncherFile) {
+ if (false) {

== list-set-probe patch
# the table of a list's path hashes probes one slot past a taken one, no further
- while (slots_[at] != 0 && slots_[at] != hash) at = (at + 1) & mask;
+ if (slots_[at] != 0 && slots_[at] != hash) at = (at + 1) & mask;

== publish-shares-unread tools/valdora-publish
# a file of the previous release is shared and signed anew without its bytes on the site being read
- if (same && (!HashFile(options.siteDir / old->second.site, site) || site != digest)) {
+ if (false) {

== publish-index-unchecked tools/valdora-publish
# a chunk index of the previous release is shared and signed anew whatever its bytes
- const bool same = read && trust::Sha256Of(texts[i]) == *listed;
+ const bool same = read;

== publish-index-unvouched tools/valdora-publish
# the previous release's manifest is taken for its indexes' bytes without its signature checked
- const bool vouched = plan.previous && plan.previous->vouched;
+ const bool vouched = plan.previous.has_value();

== list-entries-uncapped patch
# a list of millions of tiny entries is read whole
- if (count_++ == kMaxListEntries) {
+ if (count_++ == kMaxListEntries * 64) {

== kept-floor-dropped patch
# a release other than the kept one is taken whatever its version (an old one replayed)
- if (!platform::read_file(kKeptSignature, keptSignature) || keptSignature == signature) return 0;
+ if (!platform::read_file(kKeptSignature, keptSignature) || keptSignature != signature) return 0;

== kept-signature-last patch
# the kept signature is written after the list and manifest: a run cut short between lowers the floor
- {kKeptSignature, &signature_}, {kKeptManifest, &manifest_}, {kKeptList, &list_}};
+ {kKeptList, &list_}, {kKeptManifest, &manifest_}, {kKeptSignature, &signature_}};

== kept-comment-any-product trust
# a kept signature of another product (a server list's, its version a time) sets the floor
- if (info.product == kProduct) return true;
+ if (true) return true;

== version-unbounded trust
# a signed version above 2^53 is taken, and freezes the floor for good
- ok = ParseNumber(value, info.version) && info.version <= kMaxVersion;
+ ok = ParseNumber(value, info.version);

== server-list-unsigned servers
# a launcher with trusted keys takes a server list over http without its signature
- if (check && !text.empty() && !https) {
+ if (check && !text.empty() && https) {

== stale-partial-kept patch
# a partial "~temp.dat" whose file is no longer due stays for ever
- if (!s.there || s.keep || s.forFile) continue;
+ if (!s.there || s.keep || s.forFile || plan_.empty()) continue;

== list-failure-unsaid patch
# a list that could not be fetched leaves no reason in the log
- } else if (!attempt.error.empty()) {
+ } else if (attempt.error.empty()) {

== list-hash-ignored patch
# an update list whose bytes are not the manifest's is taken
- *listHash != trust::Sha256Of(listText)
+ listHash->empty()

== file-hash-ignored patch
# a downloaded file whose bytes are not the signed ones is put in place
- return !expected_ || hash_.Final() == *expected_;
+ return !expected_ || hash_.Final() != trust::Sha256Digest{};

== hash-blocks-out-of-order trust
# the hash thread takes a block and drops the newest instead
- full_.pop_front();
+ full_.pop_back();

== range-any-start patch
# a 206 that starts anywhere is appended to the partial, or taken for a range
- from == first &&
+ true &&

== resume-any-validator patch
# the rest of a file that changed on the server (another ETag) is appended
- : etag.empty() || etag == resume_.etag;
+ : true;

== window-bars-crawl window
# the bars are set straight to their place, not a step short first
- SetBarPosition(kFileProgress, filePosition - 2);

== window-closing-takes-messages window
# what the worker still posts is shown after the close button
- if (phase_ == Phase::Closing) return 0;

== window-failure-forgotten window
# a failed run shows "Güncelleme tamamlandı !" once the downloads end
- patchFailed_ ? kPatchFailedText :
+ false ? kPatchFailedText :

== window-start-without-saving window
# OYNA starts or warns without writing the settings first
- Preferences().WriteSettingsFile();

== pane-any-scheme window
# a pane shows whatever is not a local file: scripts, resources, drives
- return IsWebAddress(url) || SchemeIs(url, "about") || SchemeIs(url, "data");
+ return !SchemeIs(url, "file");

== outline-lone-pixel window
# an opaque run of a single pixel is left out of the window's outline
- if (x > start) runs.push_back
+ if (x > start + 1) runs.push_back

== limit-counts-whole-files patch
# the size limit counts the whole of a file that comes as a delta
- bytes += static_cast<double>(file.FetchBytes());
+ bytes += file.entry->size;

== delta-never-resumed patch
# a delta cut short starts over at the next run
- record.url != file_.url ||
+ true ||

== range-refusal-fails patch
# a server that answers a range with all of the file fails the file instead of sending it whole
- return FallBackToWhole(transfers, "");
+ return Fail(transfers, code, "");

== index-not-checked patch
# a chunk index is used without its hash being checked against the manifest
- if (trust::Sha256Of(body) != *release.Listed(c.where.indexPath)) {
+ if (false) {

== small-file-indexed tools/valdora-publish
# a file of exactly 1 MiB is published without its chunk index
- if (file.entry.size < delta::kMinIndexedSize) continue;
+ if (file.entry.size <= delta::kMinIndexedSize) continue;

== records-not-checked delta
# the records of a group are taken without their hash being checked against the index
- if (GroupHash(slice, index_.recordBytes) != group.hash ||
+ if (false ||

== cap-lets-all-through net
# the speed cap of a run lets every piece through however far ahead of it the run is
- if (allowance_ >= 0) return true;
+ if (true) return true;

== ranges-not-joined delta
# neighbouring chunks to fetch are asked for one range each
- if (last.offset + last.length == piece.offset && last.fetch == piece.fetch &&
+ if (false && last.fetch == piece.fetch &&
== index-tiny-chunks delta
# an index whose groups hold chunks below the chunker's least size is taken
- group.bytes < least ||
+ group.bytes < group.chunks ||

== records-tiny-chunks delta
# chunk records below the chunker's least size are taken
- (record.length < index_.chunkSizes.min && !last)) {
+ false) {

== index-asks-encoding patch
# indexes and chunk records are asked for with every encoding libcurl decodes
- slot->transfer.identity = true;
+ slot->transfer.identity = false;

== range-asks-encoding patch
# a delta's ranges are asked for with every encoding libcurl decodes
- t.curl.identity = true;  // the bytes as they lie in the file
+ t.curl.identity = false;  // the bytes as they lie in the file

== short-range-taken patch
# a range that ends OK without all its bytes is not refused
- if (t.refused || code == CURLE_OK ||
+ if (t.refused ||

== stale-end-taken patch
# the end of a range a fallback already took back is taken for the whole file's
- if (&t->curl != transfer || !t->busy) continue;
+ if (&t->curl != transfer) continue;

== fallback-past-limit patch
# a fallback to the whole file is not counted against the size limit
- if (context_.progress.WithinLimit()) return true;
+ if (true) return true;

== drip-passes net
# a transfer is failed only when nothing at all comes, not when it drips
- curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, slowest);
+ curl_easy_setopt(handle_, CURLOPT_LOW_SPEED_LIMIT, 1L);

== stopped-run-goes-on patch
# a stopped run still says its files are done and asks for the servers
- if (!downloaded.goOn || stop_.is_set()) return;
+ if (!downloaded.goOn) return;

== list-size-unsaid patch
# an update list refused for its size is logged as libcurl's failed write
- attempt.error = overlong ? limit.refusal() : fetch.error();
+ attempt.error = fetch.error();

== report-halves-swapped window
# the window is told the file's position as the run's, and the run's as the file's
- Pack(p.runPosition, p.filePosition)
+ Pack(p.filePosition, p.runPosition)

== failure-code-dropped window
# a failed transfer reaches the window without libcurl's code
- failure.kind == FailureKind::Transfer ? failure.transferCode : 0
+ 0

== short-body-placed patch
# a whole file whose body ended short of the listed size is put in place
- const bool shorter = code == CURLE_OK && sink_->Taken() < file_.entry->size;
+ const bool shorter = false;
== mirror-never-set-aside patch
# a host that fails request after request is never set aside
- if (++h.failuresInRow < kSetAsideAfter || h.setAside || hosts_.size() == 1) return;
+ if (true) return;

== mirror-no-failover patch
# a request that failed on one host never moves to another
- return Pick(tried).has_value();
+ return false;

== mirror-list-unchecked patch
# a mirror list whose bytes are not the signed ones is taken
- if (error.empty() && trust::Sha256Of(text) != *listed) error = "not the signed bytes";

== pack-file-unchecked patch
# a small file from a pack is put in place without its hash checked
- if (trust::Sha256Of(bytes) == *files_[i].hash) {
+ if (true) {

== pack-gap-unbounded patch
# small files far apart in a pack are asked for in one range, the bytes between them too
- f.pack.offset < end || f.pack.offset - end > kMostGapBytes ||
+ f.pack.offset < end ||

== group-hash-whole delta
# a short index's groups are matched on their whole hash, though the index holds only 8 bytes of it
- std::fill(hash.begin() + static_cast<std::ptrdiff_t>(GroupHashBytes(recordBytes)), hash.end(),
+ std::fill(hash.end(), hash.end(),

== marker-probe-is-holder platform
# a take that meets another launcher's look at the marker gives up, as if the marker were held
- const bool probed = error == EWOULDBLOCK && tries < 10000 &&
+ const bool probed = false &&

== release-failure-refused patch
# a manifest or signature that could not be fetched is taken for a refusal: asked again for fresh copies
- if (!attempt.refused.empty() || !attempt.error.empty()) return attempt;
+ if (!attempt.error.empty()) attempt.refused = attempt.error;
+ if (!attempt.refused.empty()) return attempt;
MUTANTS
