#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh left here: its files,
# the desktop entry, AppStream data and manual page as installed, lintian;
# then installs it, starts the console under Xvfb, removes it again and
# makes sure nothing of it is left.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh package

id=org.vireon.Vireon
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
fail() { echo "check-package: $*" >&2; exit 1; }

shopt -s nullglob
debs=(vireon_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "expected one vireon_*.deb here (found ${#debs[@]}); run scripts/package.sh"
deb=${debs[0]}
if dpkg-query -W -f='${Status}' vireon 2>/dev/null | grep -q 'ok installed'; then
  fail "vireon is installed already; remove it first (apt-get remove vireon)"
fi

work=$(mktemp -d)
installed=0
cleanup() {
  # A failed check must not leave the package on the machine.
  if [ "$installed" = 1 ]; then
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q vireon >/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== Contents of $deb =="
dpkg-deb -f "$deb" Package Version Architecture Section Depends
root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/vireon usr/bin/vireon-serve \
         usr/share/applications/$id.desktop \
         usr/share/metainfo/$id.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/$id.svg \
         usr/share/man/man1/vireon.1.gz usr/share/man/man1/vireon-serve.1.gz \
         usr/share/doc/vireon/copyright usr/share/doc/vireon/changelog.gz; do
  [ -f "$root/$f" ] || fail "the package lacks /$f"
done
for size in 16 22 24 32 48 64 128 256; do
  png=usr/share/icons/hicolor/${size}x${size}/apps/$id.png
  [ -f "$root/$png" ] || fail "the package lacks /$png"
  file -b "$root/$png" | grep -q "^PNG image data, $size x $size," || fail "/$png is not $size x $size"
done

echo "== Desktop entry, AppStream data, manual page =="
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
man_warnings=$(for page in vireon vireon-serve; do
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null
done)
[ -z "$man_warnings" ] || fail "the manual page has problems: $man_warnings"
echo "manual page: no warnings"

echo "== lintian (fails on errors, shows warnings) =="
lintian --fail-on error --tag-display-limit 0 "$deb"

echo "== Install =="
installed=1
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$deb"
dpkg-query -W -f='${Status}\n' vireon | grep -q 'install ok installed' || fail "vireon did not install"

version=$(/usr/bin/vireon --version)
[ "$version" = "Vireon 2.0" ] || fail "vireon --version printed \"$version\", expected \"Vireon 2.0\""
echo "vireon --version: $version"
# The newest release in the AppStream data is the program's version.
grep -q "<release version=\"${version#Vireon }\"" /usr/share/metainfo/$id.metainfo.xml ||
  fail "the AppStream releases do not list ${version#Vireon }"
/usr/bin/vireon --help | grep -q -- '--driver' || fail "vireon --help does not mention --driver"
# The installed server starts on the bench and says how to reach it.
reach=$(timeout 5 /usr/bin/vireon-serve prologix tcp | head -n 1 || true)
[[ "$reach" == prologix:127.0.0.1:* ]] || fail "vireon-serve printed \"$reach\", expected prologix:127.0.0.1:PORT"
echo "vireon-serve: $reach"

echo "== The window under Xvfb =="
# A home of its own, so the run leaves no settings or data folder behind.
mkdir -p "$work/home"
cat > "$work/window.sh" <<'SCRIPT'
set -u
/usr/bin/vireon --driver sim >"$HOME/vireon.log" 2>&1 &
pid=$!
# Up to 30 s for the window: a slow CI machine is not a failure.
shown=0
for _ in $(seq 60); do
  kill -0 "$pid" 2>/dev/null || break
  if xwininfo -root -tree | grep -q 'simulated bus'; then shown=1; break; fi
  sleep 0.5
done
[ "$shown" = 1 ] && sleep 3
status=0
if [ "$shown" != 1 ]; then
  echo "no console window appeared" >&2; status=1
elif ! kill -0 "$pid" 2>/dev/null; then
  echo "the console stopped after showing its window" >&2; status=1
else
  xwininfo -root -tree | grep 'simulated bus'
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
[ "$status" = 0 ] || cat "$HOME/vireon.log" >&2
exit "$status"
SCRIPT
env -u QT_QPA_PLATFORM -u AppData -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u VIREON_DRIVER \
    -u VIREON_TRACE HOME="$work/home" \
  timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/window.sh" ||
  fail "the console did not run under Xvfb"

echo "== Remove =="
files=()
while IFS= read -r path; do
  [ -d "$path" ] || files+=("$path")
done < <(dpkg-query -L vireon)
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q vireon
installed=0
if dpkg-query -W -f='${Status}' vireon 2>/dev/null | grep -q 'ok installed'; then
  fail "vireon is still installed"
fi
for path in "${files[@]}"; do
  [ ! -e "$path" ] || fail "$path is left after removal"
done
[ ! -e /usr/share/doc/vireon ] || fail "/usr/share/doc/vireon is left after removal"
echo "removed: ${#files[@]} files gone"
echo "check-package: all good"
