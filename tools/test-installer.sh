#!/usr/bin/env bash
# The Windows installer, checked and then used under Wine as a person would:
# its tables (msiinfo); msiexec /i puts the programs, the Start menu entry,
# the file types and the uninstall entry in place; the Start menu entry and
# a .shx opened through its file type start Zantrel in the start folder
# Documents\Zantrel, made when missing, the second as a first run with that
# file; a newer package replaces it; msiexec /x takes it all away and leaves
# the start folder with the work in it. Runs in a scratch copy of the build's
# Wine prefix, on an X display of its own (xvfb-run -a).
#   tools/test-installer.sh BUILD-WIN PACKAGE.msi NEWER.msi
set -euo pipefail
build=$1 msi=$2 newer=$3
display=${DISPLAY:-}
source "$(dirname "$0")/wine-env.sh" "$build"
began=$(date +%s)
fail() { echo "test-installer: $*" >&2; exit 1; }
# A table's rows, tab-separated; row PACKAGE TABLE AWK-CONDITION finds one.
table() { msiinfo export "$1" "$2" | tail -n +4 | tr -d '\r'; }
row() { table "$1" "$2" | awk -F'\t' "$3 { found = 1 } END { exit !found }"; }
property() { table "$1" Property | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }

# The tables. A per-user package: it asks for no elevation (summary word
# count bit 8), sets no ALLUSERS and writes only under HKEY_CURRENT_USER.
words=$(msiinfo suminfo "$msi" | sed -n 's/^Source: \([0-9]*\).*/\1/p')
(( words & 8 )) || fail "the package asks for administrator rights"
[ -z "$(property "$msi" ALLUSERS)" ] || fail "the package sets ALLUSERS"
! row "$msi" Registry '$2 != 1' || fail "the package writes outside HKEY_CURRENT_USER"
row "$msi" Directory '$1 == "INSTALLDIR" && $2 == "UserProgramsFolder" && $3 == "Zantrel"' &&
  row "$msi" Directory '$1 == "UserProgramsFolder" && $2 == "LocalAppDataFolder"' ||
  fail "the programs' folder is not %LOCALAPPDATA%\\Programs\\Zantrel"
# One UpgradeCode in both packages; it replaces every older version and the
# same one (513: up to and with this version, features kept), and a newer
# one installed is a downgrade.
code=$(property "$msi" UpgradeCode) version=$(property "$msi" ProductVersion)
[ -n "$code" ] && [ "$(property "$newer" UpgradeCode)" = "$code" ] ||
  fail "the packages' UpgradeCodes differ"
row "$msi" Upgrade "\$1 == \"$code\" && \$2 == \"\" && \$3 == \"$version\" && \$5 == 513" &&
  row "$msi" Upgrade "\$1 == \"$code\" && \$2 == \"$version\" && \$3 == \"\" && \$5 == 2" ||
  fail "the Upgrade table does not replace older and same versions"
# The Start menu entry and the file types name one start folder.
shortcut_folder=$(table "$msi" Shortcut | grep -o -- '--start-folder "[^"]*"')
for type in shx sbf; do
  table "$msi" Registry | grep "Zantrel.$type\\\\shell\\\\open\\\\command" |
    grep -qF -- "$shortcut_folder \"%1\"" || fail ".$type opens elsewhere than $shortcut_folder"
done

# A prefix of the test's own: the build's, hard-linked (its system files are
# only read), with its own registry and user folders, whose links into the
# real home become plain folders. Nothing reaches the menus of the desktop.
wine_wait
prefix="$wine_build/wine-installer"
rm -rf "$prefix"
cp -al "$WINEPREFIX" "$prefix"
for f in system.reg user.reg userdef.reg; do cp --remove-destination "$WINEPREFIX/$f" "$prefix/$f"; done
rm -rf "$prefix/drive_c/users" && cp -a "$WINEPREFIX/drive_c/users" "$prefix/drive_c/"
export WINEPREFIX="$prefix" DISPLAY="$display"
trap 'wine_release; rm -rf "$prefix"' EXIT
wine_hold
home=$(find "$prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
for link in "$home"/*; do
  if [ -L "$link" ]; then rm "$link" && mkdir "$link"; fi
done
user_win="C:\\users\\$(basename "$home")"
installed="$home/AppData/Local/Programs/Zantrel"
start_folder="$home/Documents/Zantrel"
lnk="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Zantrel.lnk"
# A Windows program, ended after two minutes (a box nobody answers).
win() { timeout 120 "$WINE" "$@" 2>/dev/null | tr -d '\r'; }
# The registry under KEY exported as text; nothing when there is no KEY.
registry() {
  rm -f "$prefix/export.reg"
  win reg export "$1" "$(windows_path "$prefix/export.reg")" /y >/dev/null || true
  [ ! -f "$prefix/export.reg" ] || iconv -f UTF-16 -t UTF-8 "$prefix/export.reg" | tr -d '\r'
}
uninstall_entries() {
  for root in HKCU HKLM; do
    win reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s
  done | grep -c 'DisplayName *REG_SZ *Zantrel$' || true
}
# Waits up to 30 s for FILE; the window program then waits for a person,
# so it is ended.
await() {
  for _ in $(seq 150); do
    [ -e "$1" ] && break
    sleep 0.2
  done
  win taskkill /f /im zantrel.exe >/dev/null || true
  [ -e "$1" ] || fail "$2"
}

win msiexec /i "$(windows_path "$msi")" /qn || fail "msiexec /i failed"
for f in zantrel.exe zantrel-cli.exe README-Windows.txt LICENSE.txt COPYRIGHT.txt NEWS.txt; do
  cmp "$build/stage/$f" "$installed/$f" || fail "$f is not installed as the zip has it"
done
# Help and About name a file that is there.
readme=$(grep -ao 'Read [^ ]* (beside zantrel.exe)' "$installed/zantrel.exe" | head -n 1 | cut -d' ' -f2)
[ -n "$readme" ] && [ -f "$installed/$readme" ] || fail "About names ${readme:-no file}, which is not installed"
[ -f "$lnk" ] || fail "no Start menu entry"
strings -el "$lnk" | grep -qF -- "--start-folder \"$user_win\\Documents\\Zantrel\"" ||
  fail "the Start menu entry does not start Zantrel in Documents\\Zantrel"
classes=$(registry 'HKCU\Software\Classes')
command="@=\"\\\"${user_win//\\/\\\\}\\\\AppData\\\\Local\\\\Programs\\\\Zantrel\\\\zantrel.exe\\\" --start-folder \\\"${user_win//\\/\\\\}\\\\Documents\\\\Zantrel\\\" \\\"%1\\\"\""
for type in shx sbf; do
  grep -A1 -F "[HKEY_CURRENT_USER\\Software\\Classes\\.$type]" <<<"$classes" |
    grep -qF "@=\"Zantrel.$type\"" || fail ".$type is not Zantrel's"
  grep -A1 -F "[HKEY_CURRENT_USER\\Software\\Classes\\Zantrel.$type\\shell\\open\\command]" <<<"$classes" |
    grep -qF "$command" || fail "Zantrel.$type's Open command is not $command"
done
[ "$(uninstall_entries)" = 1 ] || fail "no single uninstall entry"

# The Start menu entry: a first run in the start folder, made as it is missing.
[ ! -e "$start_folder" ] || fail "the installer made the start folder"
win start /unix "$lnk"
await "$start_folder/zantrel.ini" "the Start menu entry did not start Zantrel in Documents\\Zantrel"
# Opening a .shx from Explorer: a first run with it, in the same start folder.
# Edit only mode (no second question): the run decompiles and leaves its
# session before it waits on its closing box. Windows' HKEY_CLASSES_ROOT
# shows the per-user classes over the machine's; Wine's shows the machine's
# alone, so the installed ones are copied there (this prefix is thrown away).
(cd "$start_folder" && win "$installed/zantrel-cli.exe" settings --ask-second off >/dev/null)
samples="$home/Desktop/flash files"
mkdir -p "$samples"
win "$wine_build/bin/zantrel-samplegen.exe" "$(windows_path "$samples")" >/dev/null
sed 's/^\[HKEY_CURRENT_USER/[HKEY_LOCAL_MACHINE/' <<<"$classes" | iconv -f UTF-8 -t UTF-16 >"$prefix/machine.reg"
win reg import "$(windows_path "$prefix/machine.reg")" >/dev/null
win start /unix "$samples/phone-extended.shx"
await "$start_folder/shxdata.dat" "opening a .shx did not open it in Documents\\Zantrel"
grep -qF "$user_win\\Desktop\\flash files\\phone-extended.shx" "$start_folder/binary1/flashfiles.txt" ||
  fail "the session was not opened from the .shx"

# A newer package replaces this one: one entry, the programs in place.
win msiexec /i "$(windows_path "$newer")" /qn || fail "msiexec /i of the newer package failed"
[ "$(uninstall_entries)" = 1 ] || fail "the newer package did not replace the older one"
[ -f "$installed/zantrel.exe" ] && [ -f "$lnk" ] || fail "the upgrade lost the programs"

# Uninstalling takes away the programs, the entry, the file types and the
# uninstall entry, and leaves the start folder and the session in it.
win msiexec /x "$(windows_path "$newer")" /qn || fail "msiexec /x failed"
[ ! -e "$installed" ] || fail "the programs' folder stays: $(ls "$installed")"
[ ! -e "$lnk" ] || fail "the Start menu entry stays"
classes=$(registry 'HKCU\Software\Classes')
! grep -qi 'zantrel' <<<"$classes" || fail "file types stay: $(grep -i zantrel <<<"$classes")"
[ "$(uninstall_entries)" = 0 ] || fail "the uninstall entry stays"
[ -f "$start_folder/shxdata.dat" ] && [ -d "$start_folder/binary1/drmpack" ] ||
  fail "uninstalling touched the start folder"
echo "installer: installed, opened, upgraded and removed under Wine in $(( $(date +%s) - began )) s"
