#!/usr/bin/env bash
# Checks the binary contract of a built Parvex.dll without running it: file
# type, export table, imports, the build signature in writable data and the
# version resource. Prints PASS or FAIL per check and then the line
# "N passed, M failed"; exits non-zero when a check failed.
# Usage: check-dll.sh DLL
set -uo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 DLL" >&2
  exit 2
fi
dll=$1
passed=0
failed=0

# report NAME OK DETAIL: OK is 1 for a pass; DETAIL says what was found.
report() {
  if [ "$2" = 1 ]; then
    echo "PASS $1"
    passed=$((passed + 1))
  else
    echo "FAIL $1: $3"
    failed=$((failed + 1))
  fi
}

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}

tool() {
  local name
  for name in "$@"; do
    if command -v "$name" >/dev/null 2>&1; then
      echo "$name"
      return
    fi
  done
  echo "$1"
}
objdump=$(tool llvm-objdump llvm-objdump-14)

if [ ! -f "$dll" ]; then
  report dll_exists 0 "no file at $dll"
  finish
fi

# PE32 (not PE32+), i386, a DLL.
kind=$(file -b "$dll")
ok=0
case $kind in
  "PE32 executable (DLL)"*"Intel 80386"*) ok=1 ;;
esac
report pe32_i386_dll "$ok" "file says: $kind"

if ! headers=$("$objdump" -p "$dll" 2>&1); then
  report headers_readable 0 "$objdump -p failed: $headers"
  finish
fi

# The export table's own name for the module.
export_name=$(awk '/^ *DLL name:/ { print $3 }' <<<"$headers")
ok=0
[ "$export_name" = "Parvex.dll" ] && ok=1
report export_table_names_Parvex.dll "$ok" "export table names '${export_name:-nothing}'"

# Rows of the export table: ordinal, address, name (if any). Unused address
# slots (address 0, no name) are not exports.
exports=$(awk '
  /^Export Table:/ { inside = 1; next }
  inside && /^ *Ordinal +RVA/ { rows = 1; next }
  inside && rows && NF >= 2 && $1 ~ /^[0-9]+$/ {
    if ($2 != "0" && $2 != "0x0") print (NF >= 3 ? $3 : "(unnamed, ordinal " $1 ")")
    else if (NF >= 3) print $3 " (no address)"
    next
  }
  inside && rows { inside = 0 }
' <<<"$headers")
ok=0
[ "$exports" = "load_vesk_client_script" ] && ok=1
report one_undecorated_export_load_vesk_client_script "$ok" \
  "exports: $(tr '\n' ' ' <<<"${exports:-none}")"

# Imported modules, by name.
imports=$(awk '/^ *DLL Name:/ { print tolower($3) }' <<<"$headers" | sort -u | tr '\n' ' ')
ok=0
[ "$imports" = "kernel32.dll msvcrt.dll " ] && ok=1
report imports_only_kernel32_and_msvcrt "$ok" "imports: ${imports:-none}"

# Imported functions, as "module function" lines.
imported=$(awk '
  /^ *DLL Name:/ { module = tolower($3); rows = 0; next }
  module && /Hint\/Ord +Name/ { rows = 1; next }
  module && rows && NF >= 2 && $1 ~ /^[0-9]+$/ { print module, $2; next }
  module && rows && NF == 0 { rows = 0 }
' <<<"$headers" | sort -u)

# kernel32: exactly these. GetEnvironmentVariableA (with SetLastError and
# GetLastError to tell an empty value from an unset one) reads the process
# environment as the host has it, not a C runtime's copy.
kernel32=$(awk '$1 == "kernel32.dll" { print $2 }' <<<"$imported" | tr '\n' ' ')
want="GetEnvironmentVariableA GetLastError GetPrivateProfileStringA OutputDebugStringA SetLastError "
ok=0
[ "$kernel32" = "$want" ] && ok=1
report kernel32_imports_environment_profile_debug "$ok" "kernel32 imports: ${kernel32:-none}; expected: $want"

# msvcrt: the heap and byte helpers only; in particular no getenv.
ok=1
stray=""
while read -r name; do
  case $name in
    malloc | free | memcpy | memmove | memset | memcmp | strlen) ;;
    *) ok=0; stray="$stray $name" ;;
  esac
done < <(awk '$1 == "msvcrt.dll" { print $2 }' <<<"$imported")
grep -qx "msvcrt.dll malloc" <<<"$imported" && grep -qx "msvcrt.dll free" <<<"$imported" || {
  ok=0
  stray="$stray (malloc or free missing)"
}
report msvcrt_imports_only_heap_and_byte_helpers "$ok" "unexpected msvcrt imports:$stray"

# The build signature, seen by strings as plain characters.
signature="VESK_SIG,name=vesk_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,author="
ok=0
strings -a -n 8 "$dll" | grep -q "^${signature}[^[:space:]]" && ok=1
report signature_text_present "$ok" "no string starting with $signature and an author"

# The signature's section, and the version resource, read from the file's
# own structures.
py_report=$(python3 - "$dll" "$signature" <<'PY' 2>&1
import struct
import sys

path, signature = sys.argv[1], sys.argv[2].encode("ascii")
data = open(path, "rb").read()


def say(name, ok, detail):
    print(("PASS %s" % name) if ok else ("FAIL %s: %s" % (name, detail)))


pe = struct.unpack_from("<I", data, 0x3C)[0]
if data[pe:pe + 4] != b"PE\0\0":
    say("pe_header", False, "no PE signature at 0x%x" % pe)
    sys.exit(0)
_, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
optional = pe + 24
table = optional + optional_size
section_list = []
for i in range(sections):
    name, vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
    flags = struct.unpack_from("<I", data, table + 40 * i + 36)[0]
    section_list.append((name.rstrip(b"\0").decode("ascii", "replace"), vsize, vaddr, raw_size, raw_ptr, flags))

# Signature: in .data, initialised and writable, not executable, followed by
# a non-empty author and its terminating zero.
INITIALISED, EXECUTE, WRITE = 0x40, 0x20000000, 0x80000000
at = data.find(signature)
if at < 0:
    say("signature_in_writable_data", False, "signature bytes not found in the file")
else:
    home = [s for s in section_list if s[4] <= at < s[4] + min(s[1], s[3])]
    if not home:
        say("signature_in_writable_data", False, "signature at file offset 0x%x lies in no section" % at)
    else:
        name, vsize, _, raw_size, raw_ptr, flags = home[0]
        end = data.find(b"\0", at, raw_ptr + min(vsize, raw_size))
        author = data[at + len(signature):end] if end >= 0 else b""
        problems = []
        if name != ".data":
            problems.append("section %s, not .data" % name)
        if not flags & INITIALISED:
            problems.append("section not initialised data (flags 0x%08x)" % flags)
        if not flags & WRITE:
            problems.append("section not writable (flags 0x%08x)" % flags)
        if flags & EXECUTE:
            problems.append("section executable (flags 0x%08x)" % flags)
        if end < 0:
            problems.append("no terminating zero inside the section")
        elif not author or not all(32 <= b < 127 for b in author):
            problems.append("author %r is empty or not printable" % author)
        say("signature_in_writable_data", not problems, "; ".join(problems))
        if not problems:
            print("  author: %s" % author.decode("ascii"))


def file_offset(rva):
    for _, vsize, vaddr, raw_size, raw_ptr, _ in section_list:
        if vaddr <= rva < vaddr + max(vsize, raw_size):
            return raw_ptr + rva - vaddr
    return None


# Version resource: type 16, first name, first language.
magic = struct.unpack_from("<H", data, optional)[0]
directories = optional + (96 if magic == 0x10B else 112)
rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
base = file_offset(rsrc_rva) if rsrc_size else None


def entries(offset):
    named, numbered = struct.unpack_from("<HH", data, offset + 12)
    for i in range(named + numbered):
        ident, target = struct.unpack_from("<II", data, offset + 16 + 8 * i)
        yield ident, target


def version_block():
    if base is None:
        return None, "no resource directory"
    for ident, target in entries(base):
        if ident != 16:
            continue
        level = target
        for _ in range(2):  # name, then language
            if not level & 0x80000000:
                return None, "malformed version resource directory"
            level = next(iter(entries(base + (level & 0x7FFFFFFF))), (None, None))[1]
            if level is None:
                return None, "empty version resource directory"
        rva, size = struct.unpack_from("<II", data, base + level)
        at = file_offset(rva)
        return (data[at:at + size] if at is not None else None), "resource data outside the sections"
    return None, "no version resource (type 16)"


def parse(block, at):
    """One node: (key, value bytes, value type, children, end)."""
    length, value_length, kind = struct.unpack_from("<HHH", block, at)
    end = at + length
    key_end = at + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[at + 6:key_end].decode("utf-16-le")
    value_at = (key_end + 2 + 3) & ~3
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = block[value_at:value_at + value_bytes]
    child = (value_at + value_bytes + 3) & ~3
    children = []
    while child < end:
        node = parse(block, child)
        children.append(node)
        child = (node[4] + 3) & ~3
    return key, value, kind, children, end


block, why = version_block()
if block is None:
    say("version_resource", False, why)
    sys.exit(0)
try:
    key, fixed, _, children, _ = parse(block, 0)
except Exception as error:  # a malformed tree fails the check, not the script
    say("version_resource", False, "cannot parse the version resource: %s" % error)
    sys.exit(0)
say("version_resource", key == "VS_VERSION_INFO", "root key %r" % key)

if len(fixed) >= 52 and struct.unpack_from("<I", fixed, 0)[0] == 0xFEEF04BD:
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<IIII", fixed, 8)
    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    say("fixed_file_version_1.0.0.1", dotted(file_ms, file_ls) == "1.0.0.1", "file version %s" % dotted(file_ms, file_ls))
    say("fixed_product_version_1.0.0.1", dotted(product_ms, product_ls) == "1.0.0.1",
        "product version %s" % dotted(product_ms, product_ls))
else:
    say("fixed_file_info", False, "no VS_FIXEDFILEINFO (signature 0xFEEF04BD)")

string_info = [c for c in children if c[0] == "StringFileInfo"]
tables = string_info[0][3] if string_info else []
names = [t[0] for t in tables]
say("one_string_block_080904b0", names == ["080904b0"], "string blocks %s" % (names or "none"))
texts = {}
for table_node in tables[:1]:
    for node in table_node[3]:
        texts[node[0]] = node[1].decode("utf-16-le").rstrip("\0")
for name, want in (("FileVersion", "1, 0, 0, 1"), ("ProductVersion", "1, 0, 0, 1"),
                   ("InternalName", "Parvex"), ("OriginalFilename", "Parvex")):
    got = texts.get(name)
    say("text_%s_is_%s" % (name, want.replace(", ", ".")), got == want,
        "%s is %r" % (name, got) if got is not None else "%s missing" % name)

var_info = [c for c in children if c[0] == "VarFileInfo"]
translations = [t for c in (var_info[0][3] if var_info else []) if c[0] == "Translation"
                for t in struct.iter_unpack("<HH", c[1])]
say("translation_0809_unicode", translations == [(0x0809, 1200)],
    "translations %s" % ["%04x/%d" % t for t in translations])
PY
)
py_status=$?
while IFS= read -r line; do
  case $line in
    "PASS "*) echo "$line"; passed=$((passed + 1)) ;;
    "FAIL "*) echo "$line"; failed=$((failed + 1)) ;;
    *) echo "$line" ;;
  esac
done <<<"$py_report"
[ "$py_status" -eq 0 ] || report pe_structures_readable 0 "python3 exited with $py_status"

finish
