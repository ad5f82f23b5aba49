#!/bin/bash
# The installer packages (scripts/package), built and used under Wine in prefixes of their own:
#  - the structure of both packages, read with msiinfo: Windows Installer refuses packages that
#    Wine takes (a 64-bit component in a package marked for x86), so the tables are checked here;
#  - the x64 package in a fresh 64-bit prefix: a quiet install; the plug-in where hubhost's quick
#    links name it (x64, and x86 where this machine runs 32-bit programs) and a status query
#    answered by that copy; a higher version replacing it; a lower one refused; the uninstall by
#    product code leaving no file or registry entry behind and the product's keys as they were;
#  - the x86 package in a fresh 32-bit prefix, where this machine runs 32-bit programs.
#
# usage: test_package.sh BUILD BUILD64 NEXT_VERSION
#   BUILD, BUILD64   the x86 and x64 build trees; NEXT_VERSION the version of the plug-in built
#                    into BUILD*/tests/package/next for the upgrade
# SKP_PACKAGE_KEEP=1 keeps the work folder (packages, prefixes, msiexec logs) for a look afterwards.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
build64=$(cd "$2" && pwd)
next=$3
version=$(head -n 1 "$root/VERSION")
upgrade_code="{8C656408-7595-4100-8C5A-B39C4460B48C}"
work=$(mktemp -d "${TMPDIR:-/tmp}/skp_package.XXXXXX")
export WINEDEBUG=-all
passed=0
failed=0

check() { # check WHAT COMMAND...: one check, its outcome printed
    if "${@:2}"; then
        passed=$((passed + 1))
        echo "ok: $1"
    else
        failed=$((failed + 1))
        echo "FAILED: $1"
    fi
}
quietly() {
    "$@" >/dev/null 2>&1
}
refused() {
    ! "$@" >/dev/null 2>&1
}
same() {
    [ "$1" = "$2" ] || { echo "  expected: $2"; echo "  found:    $1"; return 1; }
}
cleanup() {
    for prefix in "$work"/prefix*; do
        [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null
    done
    [ -n "${SKP_PACKAGE_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

# --- the packages -------------------------------------------------------------------------------

# The higher version: the next plug-in builds beside this version's skpolicy.
mkdir -p "$work/next-x86" "$work/next-x64"
ln -s "$build/tests/package/next/skp_hub.dll" "$build/bin/skpolicy.exe" "$work/next-x86/"
ln -s "$build64/tests/package/next/skp_hub.dll" "$build64/bin/skpolicy.exe" "$work/next-x64/"
"$root/scripts/package" "$work/dist" "$build/bin" "$build64/bin" >/dev/null || exit 1
"$root/scripts/package" --version "$next" "$work/dist" "$work/next-x86" "$work/next-x64" >/dev/null || exit 1
check "plug-ins of another version are not packaged" \
    refused "$root/scripts/package" --version "$next" "$work/wrong" "$build/bin" "$build64/bin"
msi64=$work/dist/skp_hub-$version-x64.msi
msi86=$work/dist/skp_hub-$version-x86.msi
next64=$work/dist/skp_hub-$next-x64.msi

# A table of a package without its three lines of column names, types and keys, the fields
# joined by blanks, the rows sorted.
table() {
    msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4 | tr '\t' ' ' | sort
}
property() {
    table "$1" Property | awk -v name="$2" '$1 == name { print $2 }'
}
size() {
    stat -c %s "$1"
}

check "x64 package is a 64-bit package" same "$(msiinfo suminfo "$msi64" | grep '^Template:')" "Template: x64;1033"
check "x86 package is an Intel package" same "$(msiinfo suminfo "$msi86" | grep '^Template:')" "Template: Intel;1033"

# Each component: its folder, its attributes (256: 64-bit) and its file.
check "x64 package components" same "$(table "$msi64" Component | awk '{ print $1, $3, $4, $5 }')" \
"PluginX64 TessilFolder64 256 skp_hub_x64.dll
PluginX86 TessilFolder 0 skp_hub_x86.dll
PolicyToolX64 TessilFolder64 256 skpolicy_x64.exe"
check "x86 package components, none of them 64-bit" same "$(table "$msi86" Component | awk '{ print $1, $3, $4, $5 }')" \
"PluginX86 TessilFolder 0 skp_hub_x86.dll
PolicyToolX86 TessilFolder 0 skpolicy_x86.exe"
check "x64 package folders" same "$(table "$msi64" Directory | grep Tessil)" \
"TessilFolder ProgramFilesFolder Tessil
TessilFolder64 ProgramFiles64Folder Tessil"
check "x86 package folders, no 64-bit one" same "$(table "$msi86" Directory | grep -c 64)" "0"
check "x64 package files are the builds'" same "$(table "$msi64" File | awk '{ print $1, $2, $3, $4 }')" \
"skp_hub_x64.dll PluginX64 skp_hub.dll $(size "$build64/bin/skp_hub.dll")
skp_hub_x86.dll PluginX86 skp_hub.dll $(size "$build/bin/skp_hub.dll")
skpolicy_x64.exe PolicyToolX64 skpolicy.exe $(size "$build64/bin/skpolicy.exe")"
check "x86 package files are the build's" same "$(table "$msi86" File | awk '{ print $1, $2, $3, $4 }')" \
"skp_hub_x86.dll PluginX86 skp_hub.dll $(size "$build/bin/skp_hub.dll")
skpolicy_x86.exe PolicyToolX86 skpolicy.exe $(size "$build/bin/skpolicy.exe")"
for msi in "$msi64" "$msi86" "$next64"; do
    check "$(basename "$msi"): one upgrade code" same "$(property "$msi" UpgradeCode)" "$upgrade_code"
    check "$(basename "$msi"): installs for the machine" same "$(property "$msi" ALLUSERS)" "1"
    check "$(basename "$msi"): a lower version refused with a message" \
        grep -q "^NOT WIX_DOWNGRADE_DETECTED A newer version of \[ProductName\] is already installed" \
        <(table "$msi" LaunchCondition)
done
check "ProductVersion is the version" same "$(property "$msi64" ProductVersion)" "$version"
check "the next package's ProductVersion" same "$(property "$next64" ProductVersion)" "$next"
check "x86 package only on 32-bit Windows" grep -q "^NOT VersionNT64 This package is for 32-bit Windows" \
    <(table "$msi86" LaunchCondition)
check "x64 package on any Windows that runs it" same "$(table "$msi64" LaunchCondition | grep -c VersionNT64)" "0"
check "the components keep their GUIDs from version to version" \
    same "$(table "$next64" Component)" "$(table "$msi64" Component)"
code64=$(property "$msi64" ProductCode)
code86=$(property "$msi86" ProductCode)
codeNext=$(property "$next64" ProductCode)
check "a product code for each version and architecture" \
    same "$(printf '%s\n' "$code64" "$code86" "$codeNext" | sort -u | wc -l)" "3"
check "product-codes.txt names them" grep -q "^skp_hub-$next-x64.msi $codeNext\$" "$work/dist/product-codes.txt"

# --- the x64 package in a fresh 64-bit prefix -----------------------------------------------------

p64=$work/prefix64
wine64() {
    WINEPREFIX=$p64 "$root/scripts/wine-run" "$@" </dev/null
}
# The file of a Windows path in the prefix: C:\X\Y is drive_c/X/Y.
unix_of() {
    local path=${2#C:\\}
    echo "$1/drive_c/${path//\\//}"
}
file_version() {
    x86_64-w64-mingw32-strings -el "$1" | grep -A1 '^FileVersion$' | tail -n 1
}
# Everything the prefix's registry holds (HKLM and HKCU) and every file under C:.
snapshot() {
    wine64 reg export HKLM "Z:${work//\//\\}\\$1-hklm.reg" /y >/dev/null &&
        wine64 reg export HKCU "Z:${work//\//\\}\\$1-hkcu.reg" /y >/dev/null &&
        (cd "$p64/drive_c" && find . ! -type d | sort) >"$work/$1-files"
}
same_files() {
    cmp -s "$work/$1" "$work/$2" || { diff "$work/$1" "$work/$2" | head -n 10; return 1; }
}
# Two registry exports alike, but for the empty keys in which Windows Installer keeps its records of
# all products: a fresh Windows gets them at its first install, and they stay.
installer_keys='\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer)'
installer_keys+='(\\(Features|Products|UpgradeCodes|UserData|S-1-5-18|Components))*\]$'
same_registry() {
    local changes
    changes=$(diff <(iconv -f UTF-16 -t UTF-8 "$work/$1") <(iconv -f UTF-16 -t UTF-8 "$work/$2") |
        grep '^[<>]' | tr -d '\r' | grep -v -E '^> $' | grep -v -E "^> $installer_keys")
    [ -z "$changes" ] || { echo "$changes" | head -n 10; return 1; }
}
msiexec64() { # msiexec64 LOGNAME ARGS...: the exit code modulo 256
    wine64 msiexec "${@:2}" /qn /l*v "Z:${work//\//\\}\\$1.log"
}
# What hubhost finds: the quick back-up-now link's library, and that library's status line.
quick_link_library() { # quick_link_library HUBHOST
    wine64 "$1" launch | tr -d '\r' | sed -n 's/^    starts:  the export in "\(.*\), LP_BackupNow"$/\1/p'
}
status_answer() { # status_answer HUBHOST DLL
    wine64 "$1" --dll "$2" status | tr -d '\r' | grep -c '^LP_GetStatus(id 1, size 948) -> return 0$'
}

WINEPREFIX=$p64 WINEARCH=win64 "$root/scripts/wine-run" wineboot -i >/dev/null 2>&1 </dev/null
WINEPREFIX=$p64 wineserver -w
WINEPREFIX=$p64 wineserver -p30
# The product is installed (its record in both registry views) and a policy is set.
wine64 reg import "Z:${root//\//\\}\\tools\\product\\safekeep_install.reg" /reg:64 >/dev/null 2>&1
wine64 reg import "Z:${root//\//\\}\\tools\\product\\safekeep_install.reg" /reg:32 >/dev/null 2>&1
wine64 reg add 'HKLM\Software\Policies\Tessil\Safekeep\Settings\Backup' /v BackupUSB /t REG_DWORD /d 1 /f >/dev/null
check "the registry and the files before the install" snapshot before

msiexec64 install32 /i "Z:${msi86//\//\\}"
check "the x86 package refuses 64-bit Windows" same "$?" "$((1603 % 256))"
check "and installs nothing there" same "$(ls -d "$p64/drive_c/Program Files (x86)/Tessil" 2>/dev/null)" ""

msiexec64 install /i "Z:${msi64//\//\\}"
check "quiet install of the x64 package" same "$?" "0"
installed86=$(unix_of "$p64" 'C:\Program Files (x86)\Tessil\skp_hub.dll')
installed64=$(unix_of "$p64" 'C:\Program Files\Tessil\skp_hub.dll')
check "the x86 plug-in in Program Files (x86)\\Tessil" cmp -s "$installed86" "$build/bin/skp_hub.dll"
check "the x64 plug-in in Program Files\\Tessil" cmp -s "$installed64" "$build64/bin/skp_hub.dll"
check "skpolicy in Program Files\\Tessil" \
    cmp -s "$(unix_of "$p64" 'C:\Program Files\Tessil\skpolicy.exe')" "$build64/bin/skpolicy.exe"
check "the plug-in carries the version" same "$(file_version "$installed64")" "$version.0"
check "installed: the uninstall entry" \
    quietly wine64 reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code64"

link64=$(quick_link_library "$build64/bin/hubhost.exe")
check "hubhost x64: the quick links name Program Files\\Tessil" same "$link64" 'C:\Program Files\Tessil\skp_hub.dll'
check "hubhost x64: the plug-in is there" cmp -s "$(unix_of "$p64" "$link64")" "$build64/bin/skp_hub.dll"
check "hubhost x64: that copy answers a status query" same "$(status_answer "$build64/bin/hubhost.exe" "$link64")" "1"
if "$root/scripts/x86-runs"; then
    link86=$(quick_link_library "$build/bin/hubhost.exe")
    check "hubhost x86: the quick links name Program Files (x86)\\Tessil" \
        same "$link86" 'C:\Program Files (x86)\Tessil\skp_hub.dll'
    check "hubhost x86: the plug-in is there" cmp -s "$(unix_of "$p64" "$link86")" "$build/bin/skp_hub.dll"
    check "hubhost x86: that copy answers a status query" same "$(status_answer "$build/bin/hubhost.exe" "$link86")" "1"
else
    echo "SKIPPED: hubhost x86 after the install (this machine cannot run 32-bit programs)"
fi
check "the installed skpolicy reads the policy" grep -q "^     source    machine-policy " \
    <(wine64 'C:\Program Files\Tessil\skpolicy.exe' report --id 65 | tr -d '\r')

msiexec64 upgrade /i "Z:${next64//\//\\}"
check "the higher version installs over it" same "$?" "0"
check "the x64 plug-in's version after the upgrade" same "$(file_version "$installed64")" "$next.0"
check "the x86 plug-in's version after the upgrade" same "$(file_version "$installed86")" "$next.0"
check "the x64 plug-in is the next build" cmp -s "$installed64" "$build64/tests/package/next/skp_hub.dll"
check "upgraded: the older product is gone" \
    same "$(wine64 reg query "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code64" 2>&1 | grep -c "$code64")" "0"

msiexec64 downgrade /i "Z:${msi64//\//\\}"
check "the lower version is refused (1603)" same "$?" "$((1603 % 256))"
check "refused for the newer one installed" grep -q "WIX_DOWNGRADE_DETECTED = $codeNext" "$work/downgrade.log"
check "the files are still the higher version's" same "$(file_version "$installed64")" "$next.0"

msiexec64 uninstall /x "$codeNext"
check "uninstall by product code" same "$?" "0"
check "no Tessil folder left in Program Files" \
    same "$(ls -d "$p64/drive_c/Program Files/Tessil" "$p64/drive_c/Program Files (x86)/Tessil" 2>/dev/null)" ""
check "the registry and the files after the uninstall" snapshot after
check "no file left, none removed" same_files before-files after-files
check "HKLM as before the install: nothing left, the product's keys and the policy unchanged" \
    same_registry before-hklm.reg after-hklm.reg
check "HKCU as before the install" same_registry before-hkcu.reg after-hkcu.reg
WINEPREFIX=$p64 wineserver -k

# --- the x86 package in a fresh 32-bit prefix -------------------------------------------------------

if "$root/scripts/x86-runs"; then
    # A 32-bit Windows needs Wine's 32-bit loader, which scripts/wine-run does not pick.
    p32=$work/prefix32
    wine32() {
        WINEPREFIX=$p32 WINEARCH=win32 wine "$@" </dev/null
    }
    wine32 wineboot -i >/dev/null 2>&1
    WINEPREFIX=$p32 wineserver -w
    wine32 reg import "Z:${root//\//\\}\\tools\\product\\safekeep_install.reg" >/dev/null 2>&1
    wine32 msiexec /i "Z:${msi86//\//\\}" /qn /l*v "Z:${work//\//\\}\\install32.log"
    check "quiet install of the x86 package on 32-bit Windows" same "$?" "0"
    check "the x86 plug-in in Program Files\\Tessil" \
        cmp -s "$(unix_of "$p32" 'C:\Program Files\Tessil\skp_hub.dll')" "$build/bin/skp_hub.dll"
    check "skpolicy x86 in Program Files\\Tessil" \
        cmp -s "$(unix_of "$p32" 'C:\Program Files\Tessil\skpolicy.exe')" "$build/bin/skpolicy.exe"
    check "hubhost on 32-bit Windows: the quick links name the installed plug-in" \
        same "$(wine32 "$build/bin/hubhost.exe" launch | tr -d '\r' | sed -n 's/^    starts:  the export in "\(.*\), LP_BackupNow"$/\1/p')" \
        'C:\Program Files\Tessil\skp_hub.dll'
    wine32 msiexec /x "$code86" /qn
    check "uninstall on 32-bit Windows" same "$?" "0"
    check "no Tessil folder left" same "$(ls -d "$p32/drive_c/Program Files/Tessil" 2>/dev/null)" ""
    WINEPREFIX=$p32 wineserver -k
else
    echo "SKIPPED: the x86 package's install on 32-bit Windows (this machine cannot run 32-bit programs);" \
         "its structure is checked above"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
