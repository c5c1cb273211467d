"""The pieces missions are made of: the player, aircraft, guns, vehicles,
ships, buildings, and the usual win and loss rules."""

from lib import Hex, Str

MAP = "data\\scenes\\map%d.pam"
SEASONS = ["data\\textures\\summer", "data\\textures\\winter", "data\\textures\\desert"]  # summer, winter, dry
OBJECTS, TEXTURES = "data\\objects\\", "data\\textures"

# weapon records
MG, HEAVY_MG, BOMB, ROCKET, HOMING, TORPEDO = 0, 1, 2, 3, 4, 5
FLAK, ENEMY_CANNON, ENEMY_MG, UBOAT_TORPEDO, ENEMY_BOMB = 8, 9, 11, 14, 15

RED, BLUE, GOLD = Hex(0xFF3020), Hex(0x30A0FF), Hex(0xFFD020)
PLAYER = -1


def header(m, title, source, campaign, mission, map_no, mode, description, ceiling, season=0, timer=None):
    m.header = [("title", title), ("textSource", source), ("campaign", campaign), ("mission", mission),
                ("mapdata", Str(MAP % map_no)), ("mode", mode), ("animLoopStart", 0), ("animLoopEnd", 3000),
                ("description", description), ("maxAltitude", ceiling)]
    if timer:
        m.header += [("timer", timer), ("timerDirection", "COUNTDOWN")]
    m.header.append(("maptextures", [[("path", Str(SEASONS[season]))], [("path", Str(TEXTURES))]]))


def player(m, weapons, objectives, airplane=0, locks=()):
    """weapons: (id, ammo) pairs; objectives: (action, title, targets)."""
    m.player = [("spawn", Str("PlayerStart")), ("currentWeapon", 0), ("energy", 100), ("airplane", airplane),
                ("weapons", [[("index", i), ("ammo", a)] for i, a in weapons])]
    objs = []
    for action, title, targets in objectives:
        objs.append([("action", action), ("title", title), ("isCompleted", False), ("target", targets[0]),
                     ("targets", [[("gpo", g)] for g in targets])])
    m.player.append(("objectives", objs))
    if locks:
        # target locks of the smart camera: object, range, icon
        m.player.append(("cameraLock", [[("gpo", (g, 60, icon)), ("title", title)] for g, icon, title in locks]))


def aircraft(m, null, behaviour, airplane, targets, weapon, side="ENEMY", enabled=True):
    return m.gpo(type="POINT", typeName=Str(null), side=side, radarColor=RED if side == "ENEMY" else BLUE,
                 objectType="PLANE", cursorId=0 if side == "ENEMY" else -1, aiBehaviour=behaviour,
                 enabled=enabled, airplane=airplane, weapons=[[("index", weapon), ("ammo", -1)]],
                 objectives=[[("action", "DESTROY"), ("target", t)] for t in targets])


def fighter(m, null, airplane, targets=(PLAYER,), weapon=ENEMY_MG, side="ENEMY", enabled=True):
    return aircraft(m, null, "FIGHTER", airplane, targets, weapon, side, enabled)


def bomber(m, null, airplane, target, enabled=True):
    return aircraft(m, null, "BOMBER", airplane, (target,), ENEMY_BOMB, enabled=enabled)


def plugged(mesh):
    return dict(plugModel=(Str(mesh), Str(OBJECTS), Str(TEXTURES)), plugModelLODS=(Str("_d"), 1, 70))


def flak(m, null, weapon=FLAK):
    return m.gpo(type="POINT", typeName=Str(null), side="ENEMY", radarColor=RED, objectType="GROUND_AA",
                 cursorId=1, aiBehaviour="GROUND_AA", weapons=[[("index", weapon), ("ammo", -1)]],
                 objectives=[[("action", "DESTROY"), ("target", PLAYER)]], armor=40, **plugged("aa_gun"))


def vehicle(m, null, mesh, side="ENEMY", path=None, wake=-1):
    """A tank, truck, ship or U-boat at a null point; with a path (start,
    end, frames per second) it drives the null's keyframed route."""
    kw = dict(type="POINT", typeName=Str(null), side=side, radarColor=RED if side == "ENEMY" else BLUE,
              objectType="VEHICLE", cursorId=2 if side == "ENEMY" else -1, waterFx=wake, **plugged(mesh))
    if path:
        kw.update(followPath=True, followPathStart=path[0], followPathEnd=path[1], followPathSpeed=path[2])
    return m.gpo(**kw)


def uboat(m, target):
    return m.gpo(type="POINT", typeName=Str("Uboat0"), side="ENEMY", radarColor=RED, objectType="VEHICLE",
                 cursorId=2, aiBehaviour="UBOAT", waterFx=2, weapons=[[("index", UBOAT_TORPEDO), ("ammo", -1)]],
                 objectives=[[("action", "DESTROY"), ("target", target)]], **plugged("uboat"))


def building(m, mesh, side="ENEMY"):
    """A building model of the level. (The mission build keeps a model
    group only on a trigger object, which finds the group's models inside
    its range; a model object with a group would be dropped and shift every
    later object number.)"""
    return m.gpo(type="MODEL", typeName=Str(mesh), side=side, radarColor=GOLD if side == "ENEMY" else BLUE,
                 objectType="BUILDING", cursorId=3 if side == "ENEMY" else -1)


def model_group(m, trigger, mesh):
    """The models called mesh inside a trigger, as one object that commands
    can change the meshes of (hidden on the radar, no cursor; a building,
    so that no homing weapon takes it for a target)."""
    return m.gpo(type="TRIGGER", typeName=Str(trigger), side="NEUTRAL", radarColor=Hex(1), objectType="BUILDING",
                 cursorId=-1, modelGroup=[[("model", Str(mesh))]])


def bombing_target(m, gpo, trigger, mesh, ruin, says):
    """Bombs and rockets that explode inside the trigger wear the building
    down; at no health it turns into its ruin."""
    hit = m.command("GPO_HEALTH_REDUCE", gpoRef=gpo, value=25, loop=-1, delay=400)
    m.event("EXPLOSION_INSIDE_TRIGGER", [hit], triggerName=Str(trigger))
    group = model_group(m, trigger, mesh)
    ruin_cmd = m.command("GPO_MODEL_MESH_INDEX_CHANGE", gpoRef=group,
                         modelsChange=[[("change", (Str(mesh), Str(ruin)))]])
    boom = m.command("ADD_EXPLOSION", explosionType="EXPLOSION_2", explosionAt=gpo)
    m.event("GPO_HEALTH_VALUE", [ruin_cmd, boom, m.say(*says)], gpoRef=gpo, value=0)


def base_raid(m, hits_allowed, says_hit, says_lost):
    """Enemy bombs bursting on the base (Target0) count up; one too many
    loses the mission."""
    inc = m.command("COUNTER_INC", value=1, loop=-1, delay=1500)
    m.event("EXPLOSION_INSIDE_TRIGGER", [inc, m.say(*says_hit)], triggerName=Str("Target0"))
    lose(m, "COUNTER_VALUE", says_lost, value=hits_allowed)


def finish(m, commands):
    """Ends the mission; nothing else is tested afterwards."""
    return commands + [m.command("EVENT_DISABLE_ALL")]


def win_when_down(m, gpos, says, points=100, time_points=0):
    """The mission is won when every listed object has no health left."""
    cmds = [m.say(*says)]
    cmds.append(m.command("SUMMARY_ELEMENT_GPO_DESTR", consoleText=m.texts.add("Targets destroyed", "Ziele zerstört"),
                          scoreA=points, scoreB=len(gpos)))
    if time_points:
        cmds.append(m.command("SUMMARY_ELEMENT_TIME", consoleText=m.texts.add("Seconds left", "Restsekunden"),
                              scoreA=time_points))
    cmds.append(m.command("SET_MISSION_COMPLETED"))
    m.event("GPOS_HEALTH_VALUE", finish(m, cmds), operator="AND", value=0, gpoRefs=[[("gpo", g)] for g in gpos])


def lose(m, type, says, **kw):
    m.event(type, finish(m, [m.say(*says), m.command("SET_MISSION_FAILED")]), **kw)


def lose_player(m):
    # Health 0 is all a script sees of the player's loss, shot down or flown into the ground or the sea, so the
    # line is true for both.
    lose(m, "GPO_HEALTH_VALUE", ("Your aircraft was lost.", "Dein Flugzeug ging verloren."), gpoRef=PLAYER, value=0)


def lose_any(m, gpos, says):
    m.event("GPOS_HEALTH_VALUE", finish(m, [m.say(*says), m.command("SET_MISSION_FAILED")]), operator="OR", value=0,
            gpoRefs=[[("gpo", g)] for g in gpos])


def lose_on_time(m):
    lose(m, "TIMER_VALUE", ("Time is up.", "Die Zeit ist um."), operator="EQUAL_SMALLER", value=0)


def briefing(m, *lines):
    """Console lines at the start, a few seconds apart."""
    m.event("NONE", [m.say(en, de, delay=1 + 3500 * i) for i, (en, de) in enumerate(lines)])


def repair_at_base(m, base_gpo):
    """Flying through the base trigger repairs and rearms the player."""
    icon = m.command("HUD_SHOW_ICON", value=0, loop=-1, delay=250)
    heal = m.command("GPO_HEALTH_INCREASE", value=5, loop=-1, delay=250)
    rearm = m.command("GPO_REARM", loop=-1, delay=2000)
    m.event("GPO_INSIDE_TRIGGER", [icon, heal, rearm], gpoRef=PLAYER, triggerRef=base_gpo)


def base_trigger(m, name="Base"):
    """The home airfield as a trigger (hidden on the radar)."""
    return m.gpo(type="TRIGGER", typeName=Str(name), side="FRIENDLY", radarColor=Hex(1), objectType="NULL",
                 cursorId=-1)
