#!/usr/bin/env bash
# The Debian package as a lab installs it: made by CPack from this build, installed with apt-get (which
# takes the dependencies it declares), used from the installed paths only (the versions, the manual
# pages, a demo run folder, simulated subjects, the report and the summary, the desktop entry), then
# purged, after which nothing of it is left. It needs root; elsewhere it skips (on CI it fails).
# Whatever happens, the package does not stay installed: every step has a time limit of its own below
# the test's, and the exit purges it.
#   package_deb.sh BUILD_DIR VERSION
source "$(dirname "$0")/xvfb/lib.sh"
build=$1
version=$2

skip() {
  if [ "${CI:-}" = true ]; then fail "not run on CI: $*"; fi
  echo "SKIP: $*"
  exit 77
}
[ "$(id -u)" = 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null && command -v cpack >/dev/null || skip "apt-get or cpack is missing"

# One package test on the machine at a time: another build's would purge this one's package.
exec 9>/run/lock/pelorin-package-test.lock
flock -w 300 9 || fail "another package test has held the machine's package lock for 300 s"
if dpkg-query -W -f='${Status}' pelorin 2>/dev/null | grep -q "ok installed"; then
  fail "pelorin $(dpkg-query -W -f='${Version}' pelorin) is installed on this machine; the test would remove it" \
    "(apt-get purge pelorin first)"
fi

# The display the installed program's window opens on, and the test's folder.
start_display
# apt's download user reads the package from here.
chmod 755 "$work"
installed=
purge() {
  DEBIAN_FRONTEND=noninteractive timeout 120 apt-get purge -y -qq -o DPkg::Lock::Timeout=60 pelorin \
    >"$work/purge.txt" 2>&1 || timeout 60 dpkg --purge pelorin >>"$work/purge.txt" 2>&1
}
eval "$(declare -f cleanup | sed '1s/^cleanup/xvfb_cleanup/')"
cleanup() {
  xvfb_cleanup
  if [ -n "$installed" ]; then purge; fi
}
trap 'exit 1' INT TERM HUP

# The package, as scripts/package-deb makes it.
timeout 300 cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.txt" 2>&1 ||
  fail "cpack failed: $(tail -20 "$work/cpack.txt")"
deb=$work/package/pelorin_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb: $(ls "$work/package")"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is $(dpkg-deb -f "$deb" Version), not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libsdl2-2.0-0 libsdl2-ttf-2.0-0 libfontconfig1 libpulse0 libc6 fonts-dejavu-core; do
  grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "the package does not depend on $package: $depends"
done
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents.txt"
for file in ./usr/bin/pelorin ./usr/bin/pelorin-summary ./usr/bin/pelorin-report ./usr/share/man/man1/pelorin.1.gz \
  ./usr/share/man/man1/pelorin-summary.1.gz ./usr/share/man/man1/pelorin-report.1.gz \
  ./usr/share/applications/pelorin.desktop ./usr/share/pelorin/translations/de.po ./usr/share/pelorin/translations/el.po \
  ./usr/share/pelorin/translations/es.po ./usr/share/pelorin/translations/fr.po ./usr/share/pelorin/translations/nl.po \
  ./usr/share/pelorin/translations/pelorin.pot; do
  grep -qx -- "$file" "$work/contents.txt" || fail "the package lacks $file: $(cat "$work/contents.txt")"
done
outside=$(grep -v '^\./usr/' "$work/contents.txt" | grep -vx './' || true)
[ -z "$outside" ] || fail "the package puts files outside /usr: $outside"

installed=1
DEBIAN_FRONTEND=noninteractive timeout 300 apt-get install -y -qq --no-install-recommends \
  -o DPkg::Lock::Timeout=240 "$deb" >"$work/install.txt" 2>&1 ||
  fail "apt-get install failed: $(tail -20 "$work/install.txt")"

# From here on only the installed programs run: a clean environment whose PATH holds no build tree.
home=$work/home
mkdir -p "$home"
installed_run() { env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 "$@"; }
for program in pelorin pelorin-summary pelorin-report; do
  where=$(installed_run sh -c "command -v $program")
  [ "$where" = "/usr/bin/$program" ] || fail "$program is found at '$where'"
  said=$(installed_run timeout 20 "$program" --version)
  # The program names its source commit too; the tools their version alone.
  case "$said" in
    "$program $version" | "$program $version (commit "*")") ;;
    *) fail "$program --version says '$said', not '$program $version'" ;;
  esac
  page=$(installed_run MANPAGER=cat MANWIDTH=120 timeout 20 man "$program" 2>&1) || fail "man $program: $page"
  grep -q -- "--version" <<<"$page" || fail "the manual page of $program does not give its options: $page"
done
installed_run MANPAGER=cat MANWIDTH=120 man pelorin | grep -q -- "--demo-folder" ||
  fail "the manual page of pelorin does not list --demo-folder"

# A run folder made from the installed program alone, then simulated subjects in it.
lab=$work/lab
installed_run timeout 20 pelorin --demo-folder "$lab" >"$work/demo.txt" 2>&1 || fail "--demo-folder: $(cat "$work/demo.txt")"
for file in instruction.txt wave/200.wav wave/500.wav wave/800.wav wave/error.wav; do
  [ -s "$lab/$file" ] || fail "--demo-folder did not write $file: $(cat "$work/demo.txt")"
done
(cd "$lab" && installed_run timeout 60 pelorin --simulate 2 --seed 1 >"$work/simulate.txt" 2>&1) ||
  fail "pelorin --simulate 2: $(cat "$work/simulate.txt")"
dataset=$lab/Simulated_Data/Res_Data
grep -q "\"Version\": \"$version\"" "$dataset/dataset_description.json" ||
  fail "the dataset's GeneratedBy is not version $version: $(cat "$dataset/dataset_description.json")"
# The report and the summary, started without arguments in the run folder: its Res_Data.
(cd "$lab/Simulated_Data" && installed_run timeout 60 pelorin-report >"$work/report.txt" 2>&1) ||
  fail "pelorin-report: $(cat "$work/report.txt")"
page=$dataset/derivatives/pelorin-report/index.html
[ -s "$page" ] || fail "pelorin-report wrote no page: $(cat "$work/report.txt")"
grep -q "sub-2" "$page" || fail "the report has no sub-2"
grep -q "\"Version\": \"$version\"" "$dataset/derivatives/pelorin-report/dataset_description.json" ||
  fail "the report's description is not of version $version"
(cd "$lab/Simulated_Data" && installed_run timeout 60 pelorin-summary >"$work/summary.txt" 2>&1) ||
  fail "pelorin-summary: $(cat "$work/summary.txt")"
[ "$(grep -cE '^sub-[12] ' "$work/summary.txt")" = 6 ] || fail "the summary is not of two subjects' three blocks: $(cat "$work/summary.txt")"
# The experiment in the real window, in the run folder: registration writes its subject list and
# Res_Data there (and the window opening at all means the font was found from /usr).
start_program env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$DISPLAY" SDL_AUDIODRIVER=dummy sh -c 'cd lab && exec pelorin'
keys ctrl+Tab
keys Return
wait_file "$lab/Res_Data/participants.tsv"
grep -q '^ 1 ' "$lab/CurrentSubjects.txt" || fail "the subject list in the run folder: $(cat "$lab/CurrentSubjects.txt")"
quit_by_question y "the quit question"

# Where there is no Res_Data, the report says where it looked.
mkdir "$work/empty"
if (cd "$work/empty" && installed_run timeout 20 pelorin-report >/dev/null 2>"$work/empty.txt"); then
  fail "pelorin-report without a Res_Data succeeded"
fi
grep -qF "no Res_Data folder in $work/empty" "$work/empty.txt" || fail "pelorin-report said: $(cat "$work/empty.txt")"

# The desktop entry: valid, and started as a desktop starts it, it makes the run folder Pelorin in
# the home folder and starts the experiment there (which, with no display here, ends at once).
entry=/usr/share/applications/pelorin.desktop
desktop-file-validate "$entry" >"$work/validate.txt" 2>&1 || fail "desktop-file-validate: $(cat "$work/validate.txt")"
installed_run SDL_VIDEODRIVER=x11 timeout 20 gio launch "$entry" >"$work/launch.txt" 2>&1 ||
  fail "gio launch: $(cat "$work/launch.txt")"
for _ in $(seq 100); do
  [ -s "$home/Pelorin/wave/error.wav" ] && break
  sleep 0.1
done
[ -s "$home/Pelorin/instruction.txt" ] && [ -s "$home/Pelorin/wave/error.wav" ] ||
  fail "the desktop entry made no run folder: $(ls -R "$home")"
# What it started (known by the home folder it was given) ends by itself without a display.
launched() {
  local process
  for process in /proc/[0-9]*; do
    tr '\0' '\n' <"$process/environ" 2>/dev/null | grep -qxF "HOME=$home" && echo "${process#/proc/}"
  done
  return 0
}
for _ in $(seq 100); do
  [ -z "$(launched)" ] && break
  sleep 0.1
done
left=$(launched)
if [ -n "$left" ]; then
  kill $left 2>/dev/null
  fail "what the desktop entry started was still running after 10 s without a display"
fi

# Nothing the programs write went beside them.
for folder in / /usr/bin /usr/share/applications /usr/share/man/man1; do
  for name in CurrentSubjects.txt Res_Data Simulated_Data Pilot_Data instruction.txt wave pelorin.log; do
    [ ! -e "$folder/$name" ] || fail "$folder/$name was written"
  done
done

purge || fail "apt-get purge failed: $(cat "$work/purge.txt")"
installed=
! dpkg-query -W -f='${Status}' pelorin 2>/dev/null | grep -q "ok installed" || fail "pelorin is still installed"
while read -r file; do
  file=${file#.}
  [ -z "$file" ] || [ -d "$file" ] || [ ! -e "$file" ] || fail "$file is left after the purge"
done <"$work/contents.txt"
[ ! -e /usr/share/doc/pelorin ] && ! ls /var/lib/dpkg/info/pelorin.* >/dev/null 2>&1 ||
  fail "the purge left dpkg's or the documentation's files of pelorin"
passed=1
echo "OK: pelorin $version made, installed, run from /usr/bin and purged"
