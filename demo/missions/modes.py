"""Time attack, the tutorial, the arcade mission and the multiplayer map
script. The arcade and multiplayer scripts keep the element positions the
game rewrites for the chosen map, season, aircraft, enemies and respawn time."""

from lib import Mission, TITLE_LIMIT
from units import *

CEILING = 45


def title_and_description(texts, title, description):
    return texts.add(title[0], title[1], TITLE_LIMIT), texts.add(*description)


# ---- time attack: the clock counts down; the seconds left score ----------------------------------

TIME_ATTACK = [
    # name, map, season, minutes, seconds
    ("ta1", 4, 0, 3, 0), ("ta2", 4, 0, 2, 30), ("ta3", 3, 1, 2, 30), ("ta4", 2, 2, 2, 0)]


def time_attack(texts, index):
    name, map_no, season, minutes, seconds = TIME_ATTACK[index]
    m = Mission(name, texts)
    texts_of_level = [
        (("Atoll Sprint", "Atoll-Sprint"),
         ("Four fighters circle the atoll. Shoot them all down before the clock runs out.",
          "Vier Jäger kreisen über dem Atoll. Schieß alle ab, bevor die Uhr abläuft.")),
        (("Harbour Rush", "Hafensturm"),
         ("Three gunboats lie in the lagoon under fighter cover. Sink them against the clock.",
          "Drei Kanonenboote liegen unter Jagdschutz in der Lagune. Versenke sie gegen die Uhr.")),
        (("Flak Run", "Flaklauf"),
         ("Four flak guns line the snowy valley. Bomb them all before time is up.",
          "Vier Flakgeschütze säumen das verschneite Tal. Bombe alle, bevor die Zeit um ist.")),
        (("Last Minute", "Letzte Minute"),
         ("Four bombers are two minutes from the airfield. Stop them all; four hits on the base and it is over.",
          "Vier Bomber sind zwei Minuten vom Flugplatz entfernt. Halte alle auf; vier Treffer auf die Basis "
          "und es ist vorbei.")),
    ][index]
    t, d = title_and_description(texts, *texts_of_level)
    header(m, t, texts.number, 0, index, map_no, "TIMEATTACK", d, CEILING, season, timer=(minutes, seconds))
    base = base_trigger(m)
    if index == 0:
        targets = [fighter(m, "Enemy%d" % i, 1 + i % 4) for i in range(4)]
        weapons, goal = [(MG, -1), (ROCKET, 12)], ("Shoot down 4 fighters", "4 Jäger abschießen")
    elif index == 1:
        targets = [vehicle(m, "Ship%d" % i, "destroyer", wake=3) for i in range(3)]
        for i in (0, 1):
            fighter(m, "Enemy%d" % i, 2)
        weapons, goal = [(MG, -1), (TORPEDO, 6), (ROCKET, 10)], ("Sink 3 gunboats", "3 Kanonenboote versenken")
    elif index == 2:
        targets = [flak(m, "Ground%d" % i) for i in (2, 3, 4, 6)]
        weapons, goal = [(MG, -1), (BOMB, 12)], ("Bomb 4 flak guns", "4 Flakgeschütze bomben")
    else:
        hangar = building(m, "m2_hangar1", side="FRIENDLY")
        targets = [bomber(m, "Enemy%d" % i, 3, hangar) for i in range(4)]
        weapons, goal = [(MG, -1), (HOMING, 8)], ("Stop 4 bombers", "4 Bomber aufhalten")
        base_raid(m, 4, ("Bombs on the airfield!", "Bomben auf dem Flugplatz!"),
                  ("The airfield is destroyed.", "Der Flugplatz ist zerstört."))
    player(m, weapons, [("DESTROY", texts.add(goal[0], goal[1], 30), targets)])
    briefing(m, ("The clock is running!", "Die Uhr läuft!"))
    repair_at_base(m, base)
    win_when_down(m, targets, ("Done in time!", "Rechtzeitig geschafft!"), time_points=10)
    lose_on_time(m)
    lose_player(m)
    return m


# ---- the tutorial: roll, pitch, throttle, weapon change, a live target ---------------------------

def tutorial(texts):
    m = Mission("tutorial", texts)
    t, d = title_and_description(
        texts, ("Flight School", "Flugschule"),
        ("Learn to steer, set the throttle, change weapons and shoot. Follow the instructions on the console.",
         "Lerne lenken, Schub geben, Waffen wechseln und schießen. Folge den Anweisungen auf der Konsole."))
    header(m, t, texts.number, 0, 0, 1, "TUTORIAL", d, CEILING, 0)
    drone = fighter(m, "Enemy0", 1, enabled=False)
    player(m, [(MG, -1), (ROCKET, 10)],
           [("DESTROY", texts.add("Shoot down the drone", "Die Zieldrohne abschießen", 30), [drone])])
    # Event numbers, in the order they are added below.
    ROLL, PITCH, THROTTLE, WEAPON, DRONE = 1, 2, 3, 4, 5
    hold = [m.command("EVENT_DISABLE", value=e) for e in (PITCH, THROTTLE, WEAPON, DRONE)]
    m.event("NONE", hold + [m.say("Welcome to flight school!", "Willkommen in der Flugschule!"),
                            m.say("Tilt left and right to roll.", "Neige nach links und rechts.", delay=3000)])

    def step(kind, next_event, good, then, extra=(), value=None):
        """`then`: the next instruction, one (en, de) line or a list of them."""
        cmds = [m.say(*good), m.command("COUNTER_INC", value=1), m.command("EVENT_ENABLE", value=next_event)]
        kw = {"gpoRef": PLAYER}
        if value is not None:
            kw["value"] = value
        lines = then if isinstance(then, list) else [then]
        m.event(kind, cmds + list(extra) + [m.say(*t, delay=2500) for t in lines], **kw)

    step("TUTORIAL_PROCESS_A", PITCH, ("Good roll!", "Gut gerollt!"),
         ("Tilt forward and back to climb.", "Neige vor und zurück zum Steigen."))
    step("TUTORIAL_PROCESS_B", THROTTLE, ("Good pitch!", "Gut gesteuert!"),
         # the throttle step asks for the throttle raised and lowered
         [("Drag the radar right: more throttle.", "Radar nach rechts wischen: mehr Schub."),
          ("Then drag it left: less throttle.", "Dann nach links: weniger Schub.")])
    step("TUTORIAL_PROCESS_C", WEAPON, ("Throttle set!", "Schub eingestellt!"),
         ("Tap the weapon icon for rockets.", "Tippe aufs Waffensymbol: Raketen."))
    step("TUTORIAL_PROCESS_D", DRONE, ("Rockets ready!", "Raketen bereit!"),
         ("Shoot down the target drone!", "Schieß die Zieldrohne ab!"),
         extra=[m.command("GPO_ENABLE", gpoRef=drone)], value=ROCKET)
    m.event("GPO_HEALTH_VALUE", finish(m, [m.say("Well done, pilot. Training over.", "Gut gemacht. Ausbildung beendet."),
                                           m.command("SET_MISSION_COMPLETED")]), gpoRef=drone, value=0)
    lose_player(m)
    # the counter counts the steps done; four steps open the drone
    m.event("COUNTER_VALUE", [m.say("Four of four steps done.", "Vier von vier Schritten.")], value=4)
    return m


# ---- arcade ---------------------------------------------------------------------------------------

SPAWNS = 4
BASES = ["Base_Map%d" % k for k in (1, 2, 3, 4)]


def selection_header(m, t, d, source, mode):
    header(m, t, source, 0, 0, 1, mode, d, CEILING, 0)
    m.header += [("maps", [[("path", Str(MAP % k))] for k in (1, 2, 3, 4)]),
                 # in the order of the season names the arcade and match pages show
                 ("season", [[("path", Str(SEASONS[k]))] for k in (0, 2, 1)]),
                 ("planes", [[("index", Str(str(i)))] for i in range(5)]),
                 ("bases", [[("name", Str(b))] for b in BASES]),
                 ("spawnPrefix", Str("Spawn")), ("spawnsCount", SPAWNS)]


def arcade(texts):
    m = Mission("arcade", texts)
    t, d = title_and_description(
        texts, ("Arcade", "Arcade"),
        ("Shoot down as many enemies as you can. Every enemy comes back after the respawn time you chose.",
         "Schieß so viele Gegner ab wie möglich. Jeder Gegner kehrt nach der gewählten Zeit zurück."))
    selection_header(m, t, d, texts.number, "ARCADE")
    base = base_trigger(m, BASES[0])                       # gpo 0: rewritten per map
    enemies = [fighter(m, "Spawn%d" % k, 1 + k) for k in range(SPAWNS)]  # gpo 1..4: rewritten
    player(m, [(MG, -1), (ROCKET, 15)], [("DESTROY", texts.add("Shoot down the enemies", "Gegner abschießen", 30),
                                          enemies)])
    respawn_time = 5000  # replaced by the chosen respawn time t
    c = m.command
    c("SHOW_CONSOLE_TEXT", consoleText=texts.console("Enemies incoming!", "Gegner im Anflug!"))          # 0
    c("PROFILE_INCREASE_SCORE_RANDOM", scoreA=20, scoreB=40, delay=respawn_time + 1000, loop=-2)          # 1
    c("HUD_SHOW_ICON", value=0, loop=-1, delay=250)                                                      # 2
    c("GPO_HEALTH_INCREASE", value=5, loop=-1, delay=250)                                                # 3
    c("GPO_REARM", loop=-1, delay=2000)                                                                  # 4
    c("SET_MISSION_FAILED")                                                                              # 5
    c("SHOW_CONSOLE_TEXT", consoleText=texts.console("Your aircraft was lost.", "Dein Flugzeug ging verloren."))  # 6
    for k in range(SPAWNS):                                                                              # 7..10
        c("GPO_RESPAWN", gpoRef=enemies[k], loop=-1, delay=respawn_time)
    c("SHOW_CONSOLE_TEXT", consoleText=texts.console("All enemies down!", "Alle Gegner unten!"))          # 11
    c("GPO_SET_RESPAWNABLE_FLAG", gpoRef=enemies[0], value=1, loop=-1, delay=respawn_time - 300)          # 12
    for k in range(1, SPAWNS + 1):                                                                       # 13..16
        c("PROFILE_INCREASE_SCORE_RANDOM", scoreA=20, scoreB=40, delay=respawn_time + 1000, loop=-2)
    c("SUMMARY_ELEMENT_GPO_DESTR", consoleText=texts.add("Arcade bonus", "Arcade-Bonus"), scoreA=100, scoreB=1)  # 17
    c("SET_MISSION_COMPLETED")                                                                           # 18
    c("EVENT_DISABLE_ALL")                                                                               # 19
    respawnable = [c("GPO_SET_RESPAWNABLE_FLAG", gpoRef=g, value=1) for g in enemies]                     # 20..23
    kill_scores = [1, 13, 14, 15]
    m.event("NONE", [0] + respawnable)                                                                   # event 0
    for k in range(SPAWNS):                                                                              # 1..4
        cmds = [kill_scores[k]] + ([12] if k == 0 else []) + [7 + k]
        m.event("GPO_HEALTH_VALUE", cmds, gpoRef=enemies[k], value=0)
    m.event("GPO_HEALTH_VALUE", [6, 5, 19], gpoRef=PLAYER, value=0)                                      # 5
    m.event("GPOS_HEALTH_VALUE", [11, 16], operator="AND", value=0,                                      # 6: rewritten
            gpoRefs=[[("gpo", g)] for g in enemies])
    m.event("GPO_INSIDE_TRIGGER", [2, 3, 4], gpoRef=PLAYER, triggerRef=base)                             # 7
    m.event("TIMER_VALUE", [17, 18, 19], operator="EQUAL_SMALLER", value=0)                              # 8
    return m


# ---- multiplayer ----------------------------------------------------------------------------------

def multiplayer(texts):
    m = Mission("mp", texts)
    t, d = title_and_description(
        texts, ("Dogfight", "Luftkampf"),
        ("Every pilot for himself. Fly through your base to repair. The first to reach the frag limit wins.",
         "Jeder gegen jeden. Flieg durch deine Basis zum Reparieren. Wer zuerst das Abschussziel erreicht, "
         "gewinnt."))
    selection_header(m, t, d, texts.number, "MULTIPLAYER")
    m.player = [("spawn", Str("Spawn0")), ("currentWeapon", 0), ("energy", 100), ("airplane", 0),
                ("weapons", [[("index", MG), ("ammo", -1)], [("index", ROCKET), ("ammo", 10)]])]
    base = base_trigger(m, BASES[0])
    icon = m.command("HUD_SHOW_ICON", value=0, loop=-1, delay=250)
    repair = m.command("GPO_HEALTH_INCREASE_MP_REQUEST", value=5, loop=-1, delay=250)
    rearm = m.command("GPO_REARM", loop=-1, delay=2000)
    m.event("GPO_INSIDE_TRIGGER", [icon, repair, rearm], gpoRef=PLAYER, triggerRef=base)
    return m
