"""The levels of the catalogue, in its order: the three campaigns, time
attack, the tutorial, arcade and multiplayer. The mission build writes
their scripts, texts and catalogue rows from this list, and the picture
build their mission icons, so that an icon follows its level."""

from lib import TextFile
import campaigns
import modes


class Level:
    def __init__(self, mission, mode, campaign, number, timer="off", maps=0):
        self.mission, self.mode, self.campaign, self.number = mission, mode, campaign, number
        self.timer, self.maps = timer, maps


def levels():
    """(levels, text files)."""
    out, files = [], []
    for number, heading, builders in campaigns.CAMPAIGNS:
        texts = TextFile(number, *heading)
        files.append(texts)
        for i, build in enumerate(builders):
            out.append(Level(build(texts), "SINGLEPLAYER", number - 1, i))
    texts = TextFile(4, "KORVANTH", "KORVANTH")
    files.append(texts)
    for i, (_, _, _, minutes, seconds) in enumerate(modes.TIME_ATTACK):
        out.append(Level(modes.time_attack(texts, i), "TIMEATTACK", 0, i, "down:%d:%02d" % (minutes, seconds)))
    out.append(Level(modes.tutorial(texts), "TUTORIAL", 0, 0))
    # The arcade page chooses whether the level is timed and for how long;
    # the catalogue says which way its clock runs.
    out.append(Level(modes.arcade(texts), "ARCADE", 0, 0, "down:3:00", maps=4))
    out.append(Level(modes.multiplayer(texts), "MULTIPLAYER", 0, 0))
    return out, files


def mission_icons():
    """(picture path, mode, campaign, number, subject) of every level the
    game shows an icon for: the file named as the game names it for the
    level's catalogue row, the subject read from the level's script."""
    import icons
    out = []
    for lv in levels()[0]:
        path = icons.icon_path(lv.mode, lv.campaign, lv.number)
        if path:
            try:
                out.append((path, lv.mode, lv.campaign, lv.number, icons.subject(lv.mission.text())))
            except icons.ScriptError as e:
                raise SystemExit("mission icons: %s: %s" % (lv.mission.name, e))
    return out
