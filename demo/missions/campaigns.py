"""The three campaigns. The Varnholm air wing holds the islands against the
Ostrand fleet (campaign 1), carries the war to the Ostrand coast (campaign 2)
and stops the last Ostrand offensive in the mountains (campaign 3)."""

from lib import Mission, TextFile, TITLE_LIMIT
from units import *


def level(m, texts, campaign, mission, map_no, season, title, description):
    """Header of a campaign mission; returns the title's text id."""
    t = texts.add(title[0], title[1], TITLE_LIMIT)
    d = texts.add(*description)
    header(m, t, texts.number, campaign, mission, map_no, "SINGLEPLAYER", d, CEILING, season)
    return t


CEILING = 45


def objective(texts, en, de):
    return texts.add(en, de, 30)


# ---- campaign 1: the islands (map 1, summer) -----------------------------------------------------

def c1m1(texts):
    m = Mission("c1m1", texts)
    t = level(m, texts, 0, 0, 1, 0, ("First Patrol", "Erste Streife"),
              ("Ostrand scouts have been seen over the islands. Take off, find the three fighters and shoot them "
               "down before they report our positions.",
               "Über den Inseln wurden Aufklärer aus Ostrand gesichtet. Starte, finde die drei Jäger und schieß sie "
               "ab, bevor sie unsere Stellungen melden."))
    base = base_trigger(m)
    e = [fighter(m, "Enemy%d" % i, 1 + i % 2) for i in range(3)]
    player(m, [(MG, -1), (ROCKET, 10)],
           [("DESTROY", objective(texts, "Shoot down 3 fighters", "3 Jäger abschießen"), e)],
           locks=[(e[0], 0, t)])
    briefing(m, ("Scouts to the north of the base.", "Aufklärer nördlich der Basis."),
             ("Tap the fire button to shoot.", "Feuerknopf tippen zum Schießen."))
    repair_at_base(m, base)
    win_when_down(m, e, ("All scouts down. Well flown!", "Alle Aufklärer unten. Gut gemacht!"))
    lose_player(m)
    return m


def c1m2(texts):
    m = Mission("c1m2", texts)
    level(m, texts, 0, 1, 1, 0, ("Convoy Escort", "Geleitschutz"),
          ("A supply freighter sails between the islands. Ostrand bombers with fighter cover are on their way. "
           "Keep the freighter afloat and drive the raiders off.",
           "Ein Versorgungsfrachter fährt zwischen den Inseln. Bomber aus Ostrand mit Jagdschutz sind im Anflug. "
           "Halte den Frachter über Wasser und vertreibe die Angreifer."))
    base = base_trigger(m)
    ship = vehicle(m, "Route2", "cargo_ship", side="FRIENDLY", path=(0, 3000, 25), wake=4)
    b = [bomber(m, "Enemy%d" % i, 3, ship) for i in (0, 1)]
    f = [fighter(m, "Enemy%d" % i, 2) for i in (2, 3)]
    player(m, [(MG, -1), (ROCKET, 10)],
           [("DEFEND", objective(texts, "Protect the freighter", "Frachter beschützen"), [ship]),
            ("DESTROY", objective(texts, "Stop the bombers", "Bomber aufhalten"), b),
            ("DESTROY", objective(texts, "Shoot down the escort", "Begleitjäger abschießen"), f)])
    briefing(m, ("Bombers heading for the freighter!", "Bomber fliegen auf den Frachter zu!"),
             ("Get the bombers first.", "Zuerst die Bomber erledigen."))
    repair_at_base(m, base)
    win_when_down(m, b + f, ("The convoy is safe.", "Der Geleitzug ist sicher."))
    lose_any(m, [ship], ("The freighter is sinking!", "Der Frachter sinkt!"))
    lose_player(m)
    return m


def c1m3(texts):
    m = Mission("c1m3", texts)
    level(m, texts, 0, 2, 1, 0, ("Harbour Strike", "Hafenangriff"),
          ("Two Ostrand destroyers lie off the islands and shell our harbour. Sink both. Their fighter cover "
           "is close: come in low with torpedoes or rockets.",
           "Zwei Zerstörer aus Ostrand liegen vor den Inseln und beschießen unseren Hafen. Versenke beide. Ihr "
           "Jagdschutz ist nah: greif tief mit Torpedos oder Raketen an."))
    base = base_trigger(m)
    s = [vehicle(m, "Ship%d" % i, "destroyer", wake=3) for i in (1, 3)]
    f = [fighter(m, "Enemy%d" % i, 1) for i in (0, 1)]
    player(m, [(MG, -1), (TORPEDO, 4), (ROCKET, 10)],
           [("DESTROY", objective(texts, "Sink 2 destroyers", "2 Zerstörer versenken"), s),
            ("DESTROY", objective(texts, "Shoot down the fighters", "Jäger abschießen"), f)])
    briefing(m, ("Destroyers sighted at sea.", "Zerstörer auf See gesichtet."),
             ("Drop torpedoes low over the water.", "Torpedos tief übers Wasser werfen."))
    repair_at_base(m, base)
    win_when_down(m, s, ("Both destroyers are sinking!", "Beide Zerstörer sinken!"), points=150)
    lose_player(m)
    return m


def c1m4(texts):
    m = Mission("c1m4", texts)
    level(m, texts, 0, 3, 1, 0, ("Bombers at Dawn", "Bomber im Morgengrauen"),
          ("The whole Ostrand bomber wing is heading for our airfield. Shoot every bomber down before they "
           "destroy the hangars. Three hits and the base is lost.",
           "Das ganze Bombergeschwader aus Ostrand fliegt auf unseren Flugplatz zu. Schieß jeden Bomber ab, bevor "
           "er die Hallen zerstört. Nach drei Treffern ist die Basis verloren."))
    base = base_trigger(m)
    hangar = building(m, "m1_hangar1", side="FRIENDLY")
    b = [bomber(m, "Enemy%d" % i, 3, hangar) for i in range(4)]
    f = [fighter(m, "Enemy%d" % i, 2) for i in (4, 5)]
    player(m, [(MG, -1), (HOMING, 6)],
           [("DESTROY", objective(texts, "Stop all 4 bombers", "Alle 4 Bomber aufhalten"), b),
            ("DEFEND", objective(texts, "Defend the airfield", "Flugplatz verteidigen"), [hangar])])
    briefing(m, ("Bomber wing inbound!", "Bombergeschwader im Anflug!"),
             ("Homing rockets are loaded.", "Lenkraketen sind geladen."))
    repair_at_base(m, base)
    base_raid(m, 3, ("Bombs on the airfield!", "Bomben auf dem Flugplatz!"),
              ("The airfield is destroyed.", "Der Flugplatz ist zerstört."))
    win_when_down(m, b + f, ("The islands are safe. Campaign won!", "Die Inseln sind sicher. Sieg!"))
    lose_player(m)
    return m


# ---- campaign 2: the coast (map 2, dry season) ---------------------------------------------------

def c2m1(texts):
    m = Mission("c2m1", texts)
    level(m, texts, 1, 0, 2, 2, ("Flak Alley", "Flakgasse"),
          ("Before our bombers can reach the Ostrand coast, its flak has to go. Silence the four guns around "
           "the harbour town. Stay fast and do not circle over them.",
           "Bevor unsere Bomber die Küste von Ostrand erreichen, muss die Flak weg. Schalte die vier Geschütze um "
           "die Hafenstadt aus. Bleib schnell und kreise nicht über ihnen."))
    base = base_trigger(m)
    g = [flak(m, "Ground%d" % i) for i in (2, 3, 4, 5)]
    player(m, [(MG, -1), (BOMB, 8), (ROCKET, 10)],
           [("DESTROY", objective(texts, "Silence 4 flak guns", "4 Flakgeschütze ausschalten"), g)],
           locks=[(g[0], 3, 0)])
    briefing(m, ("Flak guns around the town.", "Flak rund um die Stadt."),
             ("Bombs work best on guns.", "Bomben wirken am besten."))
    repair_at_base(m, base)
    win_when_down(m, g, ("The sky is clear for the bombers.", "Der Himmel ist frei."), points=120)
    lose_player(m)
    return m


def c2m2(texts):
    m = Mission("c2m2", texts)
    level(m, texts, 1, 1, 2, 2, ("Supply Road", "Nachschubstraße"),
          ("An Ostrand supply truck is driving down the coast road towards our base, guarded by two tanks. "
           "Destroy all three before the truck reaches the base.",
           "Ein Nachschublaster aus Ostrand fährt auf der Küstenstraße zu unserer Basis, bewacht von zwei "
           "Panzern. Zerstöre alle drei, bevor der Laster die Basis erreicht."))
    base = base_trigger(m)
    truck = vehicle(m, "Route3", "truck", path=(1500, 3000, 15))
    tanks = [vehicle(m, "Ground%d" % i, "tank") for i in (2, 3)]
    player(m, [(MG, -1), (BOMB, 8), (ROCKET, 10)],
           [("DESTROY", objective(texts, "Stop the supply truck", "Nachschublaster stoppen"), [truck]),
            ("DESTROY", objective(texts, "Destroy 2 tanks", "2 Panzer zerstören"), tanks)])
    briefing(m, ("Truck on the coast road!", "Laster auf der Küstenstraße!"),
             ("Stop it before it reaches base.", "Stopp ihn vor der Basis."))
    repair_at_base(m, base)
    win_when_down(m, [truck] + tanks, ("The road is ours.", "Die Straße gehört uns."))
    lose(m, "GPO_INSIDE_TRIGGER", ("The truck reached our base.", "Der Laster hat die Basis erreicht."),
         gpoRef=truck, triggerName=Str("Base"))
    lose_player(m)
    return m


def c2m3(texts):
    m = Mission("c2m3", texts)
    level(m, texts, 1, 2, 2, 2, ("Wolf Below", "Wolf in der Tiefe"),
          ("A U-boat stalks our freighter off the coast. Find it on the radar when it surfaces and sink it "
           "with torpedoes or bombs before it strikes.",
           "Ein U-Boot verfolgt unseren Frachter vor der Küste. Finde es auf dem Radar, wenn es auftaucht, und "
           "versenke es mit Torpedos oder Bomben, bevor es zuschlägt."))
    base = base_trigger(m)
    ship = vehicle(m, "Route2", "cargo_ship", side="FRIENDLY", path=(0, 3000, 20), wake=4)
    sub = uboat(m, ship)
    f = [fighter(m, "Enemy%d" % i, 1) for i in (0, 1)]
    player(m, [(MG, -1), (TORPEDO, 6), (BOMB, 6)],
           [("DESTROY", objective(texts, "Sink the U-boat", "Das U-Boot versenken"), [sub]),
            ("DEFEND", objective(texts, "Protect the freighter", "Frachter beschützen"), [ship])])
    briefing(m, ("U-boat near the freighter!", "U-Boot beim Frachter!"),
             ("It shows when it surfaces.", "Es zeigt sich beim Auftauchen."))
    repair_at_base(m, base)
    win_when_down(m, [sub], ("The U-boat is sunk.", "Das U-Boot ist versenkt."), points=300)
    lose_any(m, [ship], ("The freighter is sinking!", "Der Frachter sinkt!"))
    lose_player(m)
    return m


def c2m4(texts):
    m = Mission("c2m4", texts)
    level(m, texts, 1, 3, 2, 2, ("Factory Raid", "Fabrikangriff"),
          ("The aircraft factory in the harbour town builds Ostrand's new fighters. Bomb it to ruins. Two flak "
           "guns and a fighter pair guard it.",
           "Die Flugzeugfabrik in der Hafenstadt baut die neuen Jäger Ostrands. Bombe sie in Trümmer. Zwei "
           "Flakgeschütze und ein Jägerpaar bewachen sie."))
    base = base_trigger(m)
    factory = building(m, "m2_factory")
    g = [flak(m, "Ground%d" % i) for i in (2, 3)]
    f = [fighter(m, "Enemy%d" % i, 2 + i) for i in (0, 1)]
    player(m, [(MG, -1), (BOMB, 10), (ROCKET, 8)],
           [("DESTROY", objective(texts, "Bomb the factory", "Fabrik bombardieren"), [factory]),
            ("DESTROY", objective(texts, "Silence the flak", "Flak ausschalten"), g)],
           locks=[(factory, 5, 0)])
    briefing(m, ("The factory is in the town.", "Die Fabrik liegt in der Stadt."),
             ("Drop bombs right on it.", "Wirf die Bomben genau darauf."))
    repair_at_base(m, base)
    bombing_target(m, factory, "Target1", "m2_factory", "ruin_factory",
                   ("The factory is burning!", "Die Fabrik brennt!"))
    win_when_down(m, [factory], ("The coast is won. Campaign won!", "Die Küste ist unser. Sieg!"), points=400)
    lose_player(m)
    return m


# ---- campaign 3: the mountains (map 3, winter) ---------------------------------------------------

def c3m1(texts):
    m = Mission("c3m1", texts)
    level(m, texts, 2, 0, 3, 1, ("Cold Front", "Kaltfront"),
          ("Ostrand strikes back over the snowy mountains. A fighter sweep comes first; bombers follow once it "
           "is broken. Hold the valley airfield.",
           "Ostrand schlägt über den verschneiten Bergen zurück. Zuerst kommen Jäger, danach Bomber. Halte den "
           "Flugplatz im Tal."))
    base = base_trigger(m)
    hangar = building(m, "m3_hangar1", side="FRIENDLY")
    f = [fighter(m, "Enemy%d" % i, 1 + i) for i in range(3)]
    b = [bomber(m, "Enemy%d" % i, 3, hangar, enabled=False) for i in (3, 4)]
    player(m, [(MG, -1), (HOMING, 6)],
           [("DESTROY", objective(texts, "Break the fighter sweep", "Jägervorstoß brechen"), f),
            ("DESTROY", objective(texts, "Stop the bombers", "Bomber aufhalten"), b)])
    briefing(m, ("Fighters over the peaks!", "Jäger über den Gipfeln!"))
    repair_at_base(m, base)
    wave = [m.command("GPO_ENABLE", gpoRef=g) for g in b]
    m.event("GPOS_HEALTH_VALUE", wave + [m.say("Bombers coming up the valley!", "Bomber kommen das Tal herauf!")],
            operator="AND", value=0, gpoRefs=[[("gpo", g)] for g in f])
    base_raid(m, 2, ("Bombs on the airfield!", "Bomben auf dem Flugplatz!"),
              ("The airfield is destroyed.", "Der Flugplatz ist zerstört."))
    win_when_down(m, f + b, ("The valley holds.", "Das Tal hält stand."))
    lose_player(m)
    return m


def c3m2(texts):
    m = Mission("c3m2", texts)
    level(m, texts, 2, 1, 3, 1, ("Mountain Road", "Bergstraße"),
          ("Our supply truck climbs the pass road with ammunition for the front. Ostrand fighters and a bomber "
           "hunt it. Keep the truck alive.",
           "Unser Nachschublaster fährt mit Munition für die Front die Passstraße hinauf. Jäger und ein Bomber "
           "aus Ostrand jagen ihn. Halte den Laster am Leben."))
    base = base_trigger(m)
    truck = vehicle(m, "Route3", "truck", side="FRIENDLY", path=(0, 3000, 15))
    b = [bomber(m, "Enemy0", 4, truck)]
    f = [fighter(m, "Enemy%d" % i, 1 + i % 2, targets=(PLAYER, truck)) for i in (1, 2, 3)]
    player(m, [(MG, -1), (ROCKET, 10)],
           [("DEFEND", objective(texts, "Protect the truck", "Laster beschützen"), [truck]),
            ("DESTROY", objective(texts, "Shoot down the raiders", "Angreifer abschießen"), b + f)])
    briefing(m, ("The truck is on the pass road.", "Der Laster ist auf dem Pass."),
             ("Raiders from the east!", "Angreifer aus dem Osten!"))
    repair_at_base(m, base)
    win_when_down(m, b + f, ("The truck gets through.", "Der Laster kommt durch."))
    lose_any(m, [truck], ("The truck is destroyed.", "Der Laster ist zerstört."))
    lose_player(m)
    return m


def c3m3(texts):
    m = Mission("c3m3", texts)
    level(m, texts, 2, 2, 3, 1, ("Radar Peak", "Radargipfel"),
          ("The Ostrand radar station in the mountain town sees every move we make. Knock it out. Three flak "
           "guns protect it.",
           "Die Radarstation Ostrands in der Bergstadt sieht jeden unserer Züge. Schalte sie aus. Drei "
           "Flakgeschütze schützen sie."))
    base = base_trigger(m)
    radar = building(m, "m3_radar")
    g = [flak(m, "Ground%d" % i) for i in (2, 3, 4)]
    f = [fighter(m, "Enemy0", 2, weapon=ENEMY_CANNON)]
    player(m, [(MG, -1), (BOMB, 10), (ROCKET, 10)],
           [("DESTROY", objective(texts, "Destroy the radar", "Radar zerstören"), [radar]),
            ("DESTROY", objective(texts, "Silence the flak", "Flak ausschalten"), g)],
           locks=[(radar, 5, 0)])
    briefing(m, ("The radar is in the town.", "Das Radar steht in der Stadt."),
             ("Watch out for the flak.", "Vorsicht vor der Flak."))
    repair_at_base(m, base)
    bombing_target(m, radar, "Target1", "m3_radar", "ruin_radar", ("The radar is down!", "Das Radar ist zerstört!"))
    win_when_down(m, [radar], ("Ostrand is blind now.", "Ostrand ist jetzt blind."), points=300)
    lose_player(m)
    return m


def c3m4(texts):
    m = Mission("c3m4", texts)
    level(m, texts, 2, 3, 3, 1, ("Last Stand", "Letztes Gefecht"),
          ("This is Ostrand's last throw: every bomber and fighter they have left is heading for our airfield. "
           "Stop them and the war is over.",
           "Das ist Ostrands letzter Wurf: jeder verbliebene Bomber und Jäger fliegt auf unseren Flugplatz zu. "
           "Halte sie auf, und der Krieg ist vorbei."))
    base = base_trigger(m)
    hangar = building(m, "m3_hangar2", side="FRIENDLY")
    b = [bomber(m, "Enemy%d" % i, 3, hangar) for i in range(3)]
    f = [fighter(m, "Enemy%d" % i, 1 + i % 3, weapon=ENEMY_CANNON) for i in (3, 4, 5)]
    player(m, [(MG, -1), (HEAVY_MG, -1), (HOMING, 8)],
           [("DESTROY", objective(texts, "Stop the bombers", "Bomber aufhalten"), b),
            ("DESTROY", objective(texts, "Shoot down the fighters", "Jäger abschießen"), f),
            ("DEFEND", objective(texts, "Defend the airfield", "Flugplatz verteidigen"), [hangar])])
    briefing(m, ("Everything they have is coming.", "Alles, was sie haben, kommt."),
             ("Bombers first!", "Zuerst die Bomber!"))
    repair_at_base(m, base)
    base_raid(m, 5, ("Bombs on the airfield!", "Bomben auf dem Flugplatz!"),
              ("The airfield is destroyed.", "Der Flugplatz ist zerstört."))
    win_when_down(m, b + f, ("The war is won!", "Der Krieg ist gewonnen!"), points=150)
    lose_player(m)
    return m


CAMPAIGNS = [
    (1, ("CAMPAIGN I: THE ISLANDS", "FELDZUG I: DIE INSELN"), [c1m1, c1m2, c1m3, c1m4]),
    (2, ("CAMPAIGN II: THE COAST", "FELDZUG II: DIE KÜSTE"), [c2m1, c2m2, c2m3, c2m4]),
    (3, ("CAMPAIGN III: THE MOUNTAINS", "FELDZUG III: DIE BERGE"), [c3m1, c3m2, c3m3, c3m4]),
]
