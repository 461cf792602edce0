# Checks that every message page of a script has a line mark of its own, before the script is
# assembled:  awk -f line-marks.awk SCRIPT.vasm SCRIPT.vasm  (two passes over the same file).
#
# Read-skip passes a page whose line mark was passed before, on any way through the script. So a
# page must come straight after its `line N`, with no label or jump between them (else another
# way marks it read without showing it), and no other page may lie under the same N. A page is
# its wait, the code p (`msg.code "p"`), or a call of a function of this script that has one; in
# a function without line marks of its own (such as the sample's `say`) the caller's mark covers
# the page.

# The text of a line without its quoted texts and its comment.
function bare(s) {
  gsub(/"([^"\\]|\\.)*"/, "\"\"", s)
  sub(/;.*/, "", s)
  return s
}

function fail(message) {
  printf "%s:line %d: %s\n", FILENAME, FNR, message > "/dev/stderr"
  failed = 1
}

{
  s = bare($0)
  labelled = 0
  while (match(s, /^[ \t]*[^ \t:]+:/)) {
    labelled = 1
    s = substr(s, RSTART + RLENGTH)
  }
  split(s, word, /[ \t]+/)
  op = word[1] == "" ? word[2] : word[1]
  arg = word[1] == "" ? word[3] : word[2]
  if (op == ".entry") op = ".func"  # the entry function starts here
  waits = op == "msg.code" && $0 ~ /msg\.code[ \t]+"p/
}

FNR == NR {
  if (op == ".func") current = arg
  else if (waits) shows[current] = 1
  else if (op == "line") marked[current] = 1
  next
}

FNR == 1 { current = ""; mark = "" }
labelled { straight = 0 }
op == ".func" { current = arg; mark = "" }
op == "line" {
  mark = arg + 0
  straight = 1
}
op ~ /^(jmp|jt|jf|switch|case\.|jtable|label\.|back)/ { straight = 0 }
op == "ret" { mark = "" }
(waits && marked[current]) || (op ~ /^call/ && shows[arg] && !marked[arg]) {
  if (mark == "")
    fail("a page without a line mark before it")
  else if (!straight)
    fail("a page past a label or jump since line " mark ": give it a line mark of its own")
  else if (mark in page)
    fail("a page under line " mark ", which already marks the page at line " page[mark])
  else
    page[mark] = FNR
}

END { exit failed }
