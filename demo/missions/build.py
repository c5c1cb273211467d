"""Writes the missions of the demo: the mission scripts (compiled by scriptc
into data/scripts/NAME.bin), the mission text files lang1.bin .. lang4.bin
(English and German, built by langtool) and the level catalogue
data/scripts/levels.cfg (built by levelscfg).

    build.py TREE WORK SCRIPTC LANGTOOL LEVELSCFG
"""

import os
import subprocess
import sys

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import catalogue  # noqa: E402
import modes  # noqa: E402

PREFIX = "data_to_make\\scripts\\txt\\"


def main(tree, work, scriptc, langtool, levelscfg):
    os.makedirs(work, exist_ok=True)
    os.makedirs(os.path.join(tree, "data", "scripts"), exist_ok=True)
    levels, files = catalogue.levels()
    missions, rows = [], []
    for lv in levels:
        m = lv.mission
        title = dict(m.header)["title"]
        name = m.texts.rows[title][0]  # the English title
        rows.append('%-4d "%s" "%s%s" %d %d %-12s %d %s %d %d\n' % (
            title, name, PREFIX, m.name, lv.campaign, lv.number, lv.mode, modes.CEILING, lv.timer, lv.maps,
            m.texts.number))
        missions.append(m)

    jobs = []
    for m in missions:
        src = os.path.join(work, m.name + ".txt")
        write(src, m.text())
        jobs.append([scriptc, src, os.path.join(tree, "data", "scripts", m.name + ".bin")])
    for t in files:
        tables = []
        for lang in ("en", "de"):
            tables.append(os.path.join(work, "lang%d_%s.txt" % (t.number, lang)))
            write(tables[-1], t.table(lang))
        jobs.append([langtool, "build", os.path.join(tree, "data", "lang%d.bin" % t.number)] + tables)
    table = os.path.join(work, "levels.txt")
    write(table, "# title name script campaign mission mode ceiling timer maps source\n" + "".join(rows))
    jobs.append([levelscfg, "build", table, os.path.join(tree, "data", "scripts", "levels.cfg")])
    for cmd in jobs:
        r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        # scriptc warns about words that name no value; a warning is an error here
        if r.returncode or r.stderr.strip():
            raise SystemExit("missions: %s: %s" % (" ".join(cmd), r.stderr.strip()))


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


if __name__ == "__main__":
    if len(sys.argv) != 6:
        raise SystemExit(__doc__)
    main(*sys.argv[1:])
