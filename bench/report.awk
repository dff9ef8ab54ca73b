# Turns the raw runs of run_bench.sh into its table. Input lines:
#   <workload> <messages> <type> <link> <who> <seconds> <peak RSS KiB>
# where <link> is "first" or "relink" and <who> is "tool" or "floor".
# Variables: sizes (the message counts of the "base" workload, ascending).

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

{
  key = $1 " " $2 " " $3 " " $4 " " $5
  if (!(key in seconds)) {
    seconds[key] = ""
    kib[key] = ""
    cell = $1 " " $2 " " $3 " " $4
    if (!(cell in seen)) { seen[cell] = 1; cells[++cellCount] = cell }
  }
  seconds[key] = seconds[key] " " $6
  kib[key] = kib[key] " " $7
}

function row(cell,    part, tool, floor, toolMs, floorMs, own) {
  split(cell, part, " ")
  tool = cell " tool"
  floor = cell " floor"
  toolMs = 1000 * median(seconds[tool])
  floorMs = 1000 * median(seconds[floor])
  own = 1024 * (median(kib[tool]) - median(kib[floor])) / part[2]
  printf "%-8s %9d %4s %-6s | %9.1f %9.1f %9.1f | %9.1f %9.1f %9.1f | %6.2f | %9.1f\n",
    part[1], part[2], part[3], part[4],
    1000 * least(seconds[tool]), toolMs, 1000 * most(seconds[tool]),
    1000 * least(seconds[floor]), floorMs, 1000 * most(seconds[floor]),
    toolMs / floorMs, own
  if (part[1] == "base") baseSeen = 1
  perMessage[part[1] " " part[2] " " part[3] " " part[4]] = 1e6 * median(seconds[tool]) / part[2]
  # The floor of one size, over all types: floor+stores for first links.
  floorTimes[part[1] " " part[2] " " part[4]] = floorTimes[part[1] " " part[2] " " part[4]] seconds[floor]
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
  printf "%-8s %9s %4s %-6s | %29s | %29s | %6s | %9s\n",
    "workload", "messages", "type", "link", "knotter ms: min, median, max",
    "floor ms: min, median, max", "ratio", "own B/msg"
  for (i = 1; i <= cellCount; ++i) row(cells[i])
  growthTable()
}
