# Turns the raw runs of run_bench.sh into its table. Input lines:
#   <workload> <messages> <type> <link> <who> <seconds> <peak RSS KiB>
# where <link> is "first" or "relink" and <who> is "tool" or "floor". The
# runs of one cell and link come in pairs: each tool run, then its floor run.
# Variables:
#   sizes    the message counts of the "base" workload, ascending
#   pairs    how many undisturbed pairs a cell should have (default 7)
#   kept_of  "<workload> <messages> <type> <link>": print only how many pairs
#            of that cell and link are undisturbed, and no table
#   versus   what the second run of each pair is, when it is not the floor:
#            "ordinary" for run_bench.sh --collide, where the tool on a
#            colliding base is paired with the tool on the ordinary one
#
# A pair is disturbed when either of its runs took more than `disturbance`
# times the fastest run of its column in that cell and link. On this VM the
# host's load comes in bursts of a minute or so, in which the same work takes
# a fifth to a half longer; such pairs are left out of the figures, and
# run_bench.sh runs more pairs in their place. If a cell still has fewer than
# `pairs` undisturbed pairs, its figures are those of the `pairs` least
# disturbed ones, and its row says so.

BEGIN {
  disturbance = 1.15
  if (pairs == "") pairs = 7
  first = versus == "" ? "knotter" : "collide"
  second = versus == "" ? "floor" : versus
  nameWidth = versus == "" ? 8 : 12
  lastWidth = versus == "" ? 9 : 10
}

{
  cell = $1 " " $2 " " $3 " " $4
  if (!(cell in pairCount)) {
    pairCount[cell] = 0
    cells[++cellCount] = cell
  }
  if ($5 == "tool") {
    n = ++pairCount[cell]
    toolSeconds[cell, n] = $6
    toolKib[cell, n] = $7
  } else {
    floorSeconds[cell, pairCount[cell]] = $6
    floorKib[cell, pairCount[cell]] = $7
  }
}

# Marks the pairs of a cell that count in kept[cell, i]: the undisturbed ones,
# or the `pairs` least disturbed if there are fewer. Returns how many pairs
# are undisturbed.
function markKept(cell,    i, j, n, fastestTool, fastestFloor, count, score, order, v) {
  n = pairCount[cell]
  if (!((cell, n) in floorSeconds)) --n  # a tool run without its floor
  fastestTool = fastestFloor = 1e30
  for (i = 1; i <= n; ++i) {
    if (toolSeconds[cell, i] + 0 < fastestTool) fastestTool = toolSeconds[cell, i] + 0
    if (floorSeconds[cell, i] + 0 < fastestFloor) fastestFloor = floorSeconds[cell, i] + 0
  }
  # A pair's score: how much slower than the fastest its slower run was.
  count = 0
  for (i = 1; i <= n; ++i) {
    score[i] = toolSeconds[cell, i] / fastestTool
    if (floorSeconds[cell, i] / fastestFloor > score[i]) score[i] = floorSeconds[cell, i] / fastestFloor
    kept[cell, i] = score[i] <= disturbance
    count += kept[cell, i]
    order[i] = i
  }
  ran[cell] = n
  if (count < pairs && count < n) {
    for (i = 2; i <= n; ++i) {
      v = order[i]
      for (j = i - 1; j >= 1 && score[order[j]] > score[v]; --j) order[j + 1] = order[j]
      order[j + 1] = v
    }
    for (i = 1; i <= n; ++i) kept[cell, order[i]] = i <= pairs
  }
  return count
}

function sorted(list, values,    i, j, v, count) {
  count = split(list, values, " ")
  for (i = 2; i <= count; ++i) {
    v = values[i] + 0
    for (j = i - 1; j >= 1 && values[j] + 0 > v; --j) values[j + 1] = values[j]
    values[j + 1] = v
  }
  return count
}

function median(list,    values, count) {
  count = sorted(list, values)
  if (count % 2) return values[(count + 1) / 2]
  return (values[count / 2] + values[count / 2 + 1]) / 2
}

function least(list,    values) { sorted(list, values); return values[1] }

function most(list,    values, count) { count = sorted(list, values); return values[count] }

function row(cell,    part, i, count, tool, floor, tKib, fKib, toolMs, floorMs, own) {
  split(cell, part, " ")
  count = markKept(cell)
  tool = floor = tKib = fKib = ""
  for (i = 1; i <= ran[cell]; ++i) {
    if (!kept[cell, i]) continue
    tool = tool " " toolSeconds[cell, i]
    floor = floor " " floorSeconds[cell, i]
    tKib = tKib " " toolKib[cell, i]
    fKib = fKib " " floorKib[cell, i]
  }
  toolMs = 1000 * median(tool)
  floorMs = 1000 * median(floor)
  own = 1024 * (median(tKib) - median(fKib)) / part[2]
  printf "%-*s %9d %4s %-6s | %6s | %9.1f %9.1f %9.1f | %9.1f %9.1f %9.1f | %6.2f | %*.1f\n",
    nameWidth, part[1], part[2], part[3], part[4], count "/" ran[cell] (count < pairs ? "*" : ""),
    1000 * least(tool), toolMs, 1000 * most(tool),
    1000 * least(floor), floorMs, 1000 * most(floor),
    toolMs / floorMs, lastWidth, own
  if (part[1] == "base") baseSeen = 1
  perMessage[cell] = 1e6 * median(tool) / part[2]
  # The floor of one size, over all types: floor+stores for first links.
  floorTimes[part[1] " " part[2] " " part[4]] = floorTimes[part[1] " " part[2] " " part[4]] floor
  return count
}

# Time per message of the "base" workload at each size, and its growth over
# the last step next to what n log n alone allows.
function growthTable(    count, size, part, i, j, key, label, link, last, before) {
  count = split(sizes, size, " ")
  if (count < 2 || !baseSeen) return
  printf "\nTime per message in us (median), base workload. n log n allows x%.2f from %d to %d.\n",
    log(size[count]) / log(size[count - 1]), size[count - 1], size[count]
  printf "%-18s", ""
  for (i = 1; i <= count; ++i) printf " %9d", size[i]
  printf "   growth\n"
  for (i = 1; i <= cellCount; ++i) {
    split(cells[i], part, " ")
    if (part[1] != "base" || part[2] != size[count]) continue
    label = part[3] " " (part[4] == "first" ? "first link" : "relink")
    printf "%-18s", label
    for (j = 1; j <= count; ++j) printf " %9.3f", perMessage["base " size[j] " " part[3] " " part[4]]
    last = perMessage["base " size[count] " " part[3] " " part[4]]
    before = perMessage["base " size[count - 1] " " part[3] " " part[4]]
    printf "   x%.2f\n", last / before
  }
  for (link = 1; link <= 2; ++link) {
    key = link == 1 ? "first" : "relink"
    printf "%-18s", link == 1 ? "floor+stores" : "floor"
    for (j = 1; j <= count; ++j)
      printf " %9.3f", 1e6 * median(floorTimes["base " size[j] " " key]) / size[j]
    last = median(floorTimes["base " size[count] " " key]) / size[count]
    before = median(floorTimes["base " size[count - 1] " " key]) / size[count - 1]
    printf "   x%.2f\n", last / before
  }
}

END {
  if (kept_of != "") {
    print (kept_of in pairCount) ? markKept(kept_of) : 0
    exit
  }
  printf "%-*s %9s %4s %-6s | %6s | %29s | %29s | %6s | %*s\n",
    nameWidth, "workload", "messages", "type", "link", "pairs", first " ms: min, median, max",
    second " ms: min, median, max", "ratio", lastWidth,
    versus == "" ? "own B/msg" : "more B/msg"
  for (i = 1; i <= cellCount; ++i) if (row(cells[i]) < pairs) flagged = 1
  if (flagged)
    printf "* fewer than %d undisturbed pairs: the figures are those of the %d least disturbed\n", pairs, pairs
  growthTable()
}
