#!/usr/bin/env bash
# check-dll-tables.sh <objdump> <com.tavrel.dll>
# The export table must hold exactly the seventeen plain names the host looks
# up (no decorated duplicates), and the import table may name only Windows
# system DLLs: the C and C++ runtimes are linked in, KXOffer.dll is loaded at
# run time.
set -euo pipefail
objdump=$1 dll=$2

dump=$("$objdump" -p "$dll")

expected=(AppInfo Initialize _eventStartup _eventExit _eventEnable _eventDisable _eventPrivateMsg
  _eventGroupMsg _eventDiscussMsg _eventPushMsgEvent _eventSystem_GroupAdmin
  _eventSystem_GroupMemberDecrease _eventSystem_GroupMemberIncrease _eventFriendEvent
  _eventRequest_AddFriend _eventRequest_AddGroup _menuA)

allowed=(kernel32 msvcrt user32 gdi32 gdiplus wininet winhttp ole32 oleaut32 comctl32 comdlg32
  shell32 shlwapi advapi32 ws2_32 version uxtheme winmm crypt32 bcrypt secur32 imm32 rpcrt4)

# Lines of the "[Ordinal/Name Pointer] Table" section look like "\t[   0] AppInfo".
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^\t\[ *[0-9]+\] / {print $NF; next} on {on = 0}' <<<"$dump" | sort)
imports=$(awk '/^\tDLL Name: / {print tolower($3)}' <<<"$dump" | sort -u)

fail=0
want=$(printf '%s\n' "${expected[@]}" | sort)
if [[ $exports != "$want" ]]; then
  echo "export table differs from the seventeen names (< expected, > found):"
  diff <(echo "$want") <(echo "$exports") || true
  fail=1
fi
if grep -q '@' <<<"$exports"; then
  echo "decorated export names:"; grep '@' <<<"$exports"
  fail=1
fi
for dll_name in $imports; do
  base=${dll_name%.dll}
  if ! printf '%s\n' "${allowed[@]}" | grep -qx "$base"; then
    echo "imports a DLL that is not a Windows system library: $dll_name"
    fail=1
  fi
done

echo "exports ($(wc -l <<<"$exports")): $(tr '\n' ' ' <<<"$exports")"
echo "imports: $(tr '\n' ' ' <<<"$imports")"
exit $fail
