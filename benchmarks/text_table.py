"""Tables of the benchmarks' results, as Markdown or as aligned plain text."""


def print_table(rows, markdown, out, head, right=(), blank_repeats=False):
    """Rows (lists of strings) under `head`; in Markdown the columns `right` are
    right-aligned. With `blank_repeats`, the plain table leaves a first cell
    blank where it repeats the row above."""
    if markdown:
        print("| " + " | ".join(head) + " |", file=out)
        print("|" + "|".join("---:" if i in right else "---" for i in range(len(head))) + "|", file=out)
        for r in rows:
            print("| " + " | ".join(r) + " |", file=out)
        return
    widths = [max(len(h), *(len(r[i]) for r in rows)) for i, h in enumerate(head)]
    line = "  ".join("%-*s" % (wd, h) for wd, h in zip(widths, head))
    print(line.rstrip(), file=out)
    print("-" * len(line), file=out)
    last = None
    for r in rows:
        cells = list(r)
        if blank_repeats and cells[0] == last:
            cells[0] = ""
        else:
            last = cells[0]
        print("  ".join("%-*s" % (wd, c) for wd, c in zip(widths, cells)).rstrip(), file=out)
