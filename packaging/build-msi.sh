#!/bin/bash
# Builds the per-machine installer from runner.wxs with Debian's msitools.
# usage: build-msi.sh EXE SETUP_ACTIONS_DLL OUTPUT.msi [VERSION]
# VERSION defaults to RUNNER_VERSION_TEXT in resources/version.h; passing one
# is only for building test packages of other versions.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exe="$(realpath "$1")"
actions="$(realpath "$2")"
out="$(realpath -m "$3")"
version="${4:-$("$here/version.sh")}"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
cp "$exe" "$stage/orvanta-runner.exe"
cp "$actions" "$stage/orvanta-setup-actions.dll"
cp "$here/runner.wxs" "$stage/"
# UTF-16 with a byte-order mark: the profile functions then keep non-ASCII
# values (folder and user names with umlauts) whatever the code page.
{ printf '\xff\xfe'; sed 's/$/\r/' "$here/runner.ini.in" | iconv -f UTF-8 -t UTF-16LE; } >"$stage/runner.ini"

(cd "$stage" && wixl -a x64 -D Version="$version" -o package.msi runner.wxs)

msi="$stage/package.msi"
upgrade_code="$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$here/runner.wxs")"
edits=()
for table in "$here"/tables/*.idt; do edits+=(-i "$table"); done
# Component attributes: 256 = 64-bit, 16 = permanent, 128 = never overwrite.
edits+=(-q "UPDATE Component SET Attributes = 400, Condition = 'NOT RUNNERINI_FOUND' WHERE Component = 'RunnerIni'")
for key in ServerUrl:SERVERURL TokenUrl:TOKENURL ClientId:CLIENTID GdtDir:GDTDIR GdtFile:GDTFILE Users:USERS; do
  edits+=(-q "UPDATE Component SET Attributes = 272, Condition = '${key#*:} AND NOT RUNNERINI_FOUND' WHERE Component = 'Ini${key%%:*}'")
done
# A rebuild of the same version replaces the installed one instead of being
# registered beside it (512 = maximum version inclusive). Attributes is part
# of the key, so the row is replaced.
edits+=(-q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'")
edits+=(-q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, Remove, ActionProperty) VALUES ('{$upgrade_code}', '$version', 513, 'ALL', 'WIX_UPGRADE_DETECTED')")
for seq in InstallExecuteSequence InstallUISequence; do
  edits+=(-q "INSERT INTO $seq (Action, Sequence) VALUES ('AppSearch', 50)")
done
edits+=(-q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('RemoveIniValues', 3100)")
edits+=(-q "INSERT INTO InstallExecuteSequence (Action, Sequence) VALUES ('WriteIniValues', 5100)")
edits+=(-q "UPDATE Property SET Value = 'WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED;RUNNERINI_FOUND;SERVERURL;TOKENURL;CLIENTID;GDTDIR;GDTFILE;USERS' WHERE Property = 'SecureCustomProperties'")
msibuild "$msi" "${edits[@]}"

mkdir -p "$(dirname "$out")"
mv "$msi" "$out"
