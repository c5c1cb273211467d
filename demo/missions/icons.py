"""Mission icons: what a level's icon shows is read from its mission script,
so that the icon cannot tell of another mission.

A mission is about its lead objective, the first of the player's
objectives (the top row of the objectives window): what it asks (DESTROY,
DEFEND) and the kind of its targets, as the script declares them (an
aircraft by its AI behaviour, anything else by its model). The picture
build draws each icon for that subject and marks its SVG document with it;
after both builds,

    icons.py check TREE MISSIONS PICTURES

reads the catalogue the game reads (TREE/data/scripts/levels.cfg), each
level's script text (MISSIONS/NAME.txt) and the icon drawn for it
(PICTURES/data_2dgfx_mission_icons_*.svg) and fails when an icon is
missing, left over or shows anything but its mission's subject.
"""

import os
import re
import struct
import sys

ICON_DIR = "data/2dgfx/mission_icons/"
# The kinds of target an icon can show, by model; aircraft go by behaviour.
MODEL_KINDS = {"destroyer": "warship", "cargo_ship": "freighter", "uboat": "U-boat", "truck": "truck", "tank": "tank",
               "aa_gun": "flak", "radar": "radar", "factory": "factory", "hangar": "hangar", "depot": "depot",
               "bunker": "bunker", "tower": "tower"}
AIRCRAFT_KINDS = {"FIGHTER": "fighter", "BOMBER": "bomber"}


class ScriptError(Exception):
    pass


def icon_path(mode, campaign, number):
    """The icon the game loads for a level (none for the other modes)."""
    if mode == "SINGLEPLAYER":
        return ICON_DIR + "campaign_%d_%d.png" % (campaign + 1, number + 1)
    if mode == "TIMEATTACK":
        return ICON_DIR + "t_attack_%d.png" % (number + 1)
    return None


def parse(text):
    """The definitions of a script's text form: a definition or element is a
    dict of its lines (key: the rest of the line) and groups (key: the list
    of its elements)."""
    root, stack, node = {}, [], None
    for n, raw in enumerate(text.splitlines(), 1):
        line = raw.strip()
        if not line or line.startswith("//"):
            continue
        if line == "}":
            if not stack:
                raise ScriptError("line %d: '}' closes nothing" % n)
            node = stack.pop()
            continue
        words = line.split()
        if line.endswith("{"):
            if node is None and len(words) == 3 and words[0] == "define":
                new = root[words[1]] = {}
            elif isinstance(node, list):
                new = {}
                node.append(new)
            elif node is not None:
                new = node[words[0]] = []
            else:
                raise ScriptError("line %d: '%s' outside a definition" % (n, line))
            stack.append(node)
            node = new
        elif isinstance(node, dict):
            node[words[0]] = line[len(words[0]):].strip()
        else:
            raise ScriptError("line %d: '%s' outside a definition or element" % (n, line))
    if stack:
        raise ScriptError("a definition is not closed")
    return root


def kind(gpo):
    """The kind of a script object as the script declares it, or None."""
    if gpo.get("objectType") == "PLANE":
        return AIRCRAFT_KINDS.get(gpo.get("aiBehaviour"))
    quoted = re.findall(r'"([^"]*)"', gpo.get("plugModel") or gpo.get("typeName", ""))
    # a level's own models are named after their map and numbered: m2_hangar1
    model = re.sub(r"^m\d+_|\d+$", "", quoted[0]) if quoted else ""
    return MODEL_KINDS.get(model)


def subject(text):
    """What a mission is about, "ACTION kind", from its script text."""
    script = parse(text)
    objectives = script.get("mainPlayer", {}).get("objectives", [])
    if not objectives:
        raise ScriptError("the player has no objective")
    lead = objectives[0]
    gpos = script.get("GPOs", {}).get("gpo", [])
    kinds = set()
    for t in lead.get("targets", []):
        n = t.get("gpo", "")
        if not re.fullmatch(r"\d+", n) or int(n) >= len(gpos):
            raise ScriptError("the lead objective names no object of the script: '%s'" % n)
        kinds.add(kind(gpos[int(n)]))
    if len(kinds) != 1 or None in kinds:
        raise ScriptError("the lead objective's targets are not of one known kind: %s" % sorted(map(str, kinds)))
    return "%s %s" % (lead.get("action", "?"), kinds.pop())


def shown(svg):
    """The subject an icon's SVG document was drawn for, or None."""
    found = re.findall(r'data-shows="([^"]*)"', svg)
    return found[0] if len(found) == 1 else None


def read_catalogue(path):
    """(mode name, campaign, mission, script name) of every level of a
    levels.cfg."""
    modes = ["SINGLEPLAYER", "MULTIPLAYER", "TIMEATTACK", "ARCADE", "TUTORIAL"]
    with open(path, "rb") as f:
        data = f.read()
    if not data:
        return []
    count, at, out = struct.unpack_from("<b", data)[0], 1, []

    def take(n):
        nonlocal at
        if at + n > len(data):
            raise ScriptError("%s ends inside level %d" % (path, len(out) + 1))
        at += n
        return data[at - n:at]

    for _ in range(max(count, 0)):
        take(4)
        take(take(1)[0])
        script = take(take(1)[0]).decode("latin-1")
        campaign, mission, mode = struct.unpack("<bbB", take(3))
        take(7)
        if mode >= len(modes):
            raise ScriptError("%s: level %d has mode %d" % (path, len(out) + 1, mode))
        out.append((modes[mode], campaign, mission, script.split("\\")[-1]))
    return out


def check(tree, missions, pictures):
    """The faults found, one line each."""
    faults, named = [], set()
    for mode, campaign, mission, script in read_catalogue(os.path.join(tree, "data", "scripts", "levels.cfg")):
        icon = icon_path(mode, campaign, mission)
        if not icon:
            continue
        named.add(icon)
        where = "%s (%s)" % (script, icon)
        svg = os.path.join(pictures, icon.replace("/", "_") + ".svg")
        if not os.path.isfile(os.path.join(tree, icon)) or not os.path.isfile(svg):
            faults.append("%s: no icon" % where)
            continue
        try:
            with open(os.path.join(missions, script + ".txt"), encoding="utf-8") as f:
                wanted = subject(f.read())
        except (OSError, ScriptError) as e:
            faults.append("%s: %s" % (where, e))
            continue
        with open(svg, encoding="utf-8") as f:
            drawn = shown(f.read())
        if drawn != wanted:
            faults.append("%s: the mission is '%s', its icon shows '%s'" % (where, wanted, drawn))
    folder = os.path.join(tree, ICON_DIR)
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        if ICON_DIR + name not in named:
            faults.append("%s%s: an icon of no level" % (ICON_DIR, name))
    return faults


if __name__ == "__main__":
    if len(sys.argv) != 5 or sys.argv[1] != "check":
        raise SystemExit(__doc__)
    try:
        faults = check(*sys.argv[2:])
    except (OSError, ScriptError) as e:
        faults = [str(e)]
    if faults:
        raise SystemExit("mission icons:\n  " + "\n  ".join(faults))
