#!/usr/bin/env python3
# Records the Syncthing REST answers in this folder from two loopback-only
# instances that share a folder. Usage: record-answers.py <output dir>
import json, os, secrets, shutil, socket, subprocess, sys, tempfile, time, urllib.request, urllib.parse
import xml.etree.ElementTree as ET

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)
ROOT = tempfile.mkdtemp(prefix="wirecap-")
procs = []

def free_port():
    s = socket.socket(); s.bind(("127.0.0.1", 0)); p = s.getsockname()[1]; s.close(); return p

def env_for(home):
    e = {k: v for k, v in os.environ.items() if k in ("PATH", "LANG")}
    e.update(HOME=home, XDG_CONFIG_HOME=home + "/.config", XDG_DATA_HOME=home + "/.local/share",
             XDG_STATE_HOME=home + "/.local/state", XDG_CACHE_HOME=home + "/.cache", STNOUPGRADE="1",
             STNODEFAULTFOLDER="1")
    return e

def setopt(opts, key, value):
    for el in opts.findall(key):
        opts.remove(el)
    el = ET.SubElement(opts, key); el.text = value

class Inst:
    def __init__(self, name):
        self.name = name
        self.home = os.path.join(ROOT, name)
        self.st = os.path.join(self.home, "st")
        os.makedirs(self.st)
        self.gui = free_port(); self.listen = free_port(); self.key = secrets.token_hex(16)
        subprocess.run(["syncthing", "generate", "--home", self.st, "--no-default-folder", "--skip-port-probing"],
                       env=env_for(self.home), check=True, capture_output=True)
        cfg = os.path.join(self.st, "config.xml")
        tree = ET.parse(cfg); root = tree.getroot(); opts = root.find("options")
        setopt(opts, "listenAddress", "tcp://127.0.0.1:%d" % self.listen)
        for k, v in [("globalAnnounceEnabled", "false"), ("localAnnounceEnabled", "false"), ("relaysEnabled", "false"),
                     ("natEnabled", "false"), ("urAccepted", "-1"), ("crashReportingEnabled", "false"),
                     ("autoUpgradeIntervalH", "0"), ("startBrowser", "false")]:
            setopt(opts, k, v)
        gui = root.find("gui"); gui.find("address").text = "127.0.0.1:%d" % self.gui; gui.find("apikey").text = self.key
        tree.write(cfg)
        e = env_for(self.home); e.update(STGUIADDRESS="127.0.0.1:%d" % self.gui, STGUIAPIKEY=self.key)
        self.log = open(os.path.join(self.home, "log"), "w")
        self.proc = subprocess.Popen(["syncthing", "serve", "--home", self.st, "--no-browser", "--no-restart"],
                                     env=e, stdout=self.log, stderr=subprocess.STDOUT)
        procs.append(self.proc)
        for _ in range(100):
            try:
                self.req("GET", "/rest/system/ping"); break
            except Exception:
                time.sleep(0.2)
        self.id = json.loads(self.req("GET", "/rest/system/status"))["myID"]

    def req(self, method, path, query=None, body=None):
        url = "http://127.0.0.1:%d%s" % (self.gui, path)
        if query: url += "?" + urllib.parse.urlencode(query)
        data = json.dumps(body).encode() if body is not None else None
        r = urllib.request.Request(url, data=data, method=method, headers={"X-API-Key": self.key})
        if data is not None: r.add_header("Content-Type", "application/json")
        with urllib.request.urlopen(r, timeout=30) as resp:
            return resp.read()

    def save(self, fname, path, query=None):
        body = self.req("GET", path, query)
        with open(os.path.join(OUT, fname), "wb") as f: f.write(body)
        return json.loads(body)

def wait(cond, what, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        if cond(): return
        time.sleep(0.3)
    raise SystemExit("timed out waiting for " + what)

XF = {"entries": [{"match": "user.xdg.tags", "permit": True}, {"match": "user.com.quellmark.crtime", "permit": True},
                  {"match": "*", "permit": False}], "maxSingleEntrySize": 1048576, "maxTotalSize": 4194304}

def folder_body(fid, label, path, devices, versioning):
    return {"id": fid, "label": label, "path": path, "type": "sendreceive", "devices": [{"deviceID": d} for d in devices],
            "paused": False, "fsWatcherEnabled": True, "rescanIntervalS": 900, "versioning": versioning,
            "sendXattrs": True, "syncXattrs": True, "copyRangeMethod": "all", "xattrFilter": XF}

try:
    a = Inst("a"); b = Inst("b")
    fid = "tdw-0c0ffee1"
    pa = os.path.join(a.home, "Film"); os.makedirs(os.path.join(pa, "Shots"))
    for i in range(3):
        with open(os.path.join(pa, "Shots", "clip%d.mov" % i), "wb") as f: f.write(os.urandom(3 * 1024 * 1024))
    with open(os.path.join(pa, "notes.txt"), "w") as f: f.write("first draft\n")
    # A knows B; B does not know A yet, so B sees A as a pending device.
    a.req("PUT", "/rest/config/devices/" + b.id, body={"deviceID": b.id, "name": "Mac B", "addresses": ["tcp://127.0.0.1:%d" % b.listen],
          "paused": False, "numConnections": 5, "introducer": False})
    a.req("PUT", "/rest/config/folders/" + fid, body=folder_body(fid, "Film", pa, [a.id, b.id], {"type": ""}))
    a.req("POST", "/rest/db/ignores", {"folder": fid}, {"ignore": ["(?d).DS_Store", "*.tmp", "// comment"]})
    # A second folder with versioning and an empty label, shared with nobody.
    pa2 = os.path.join(a.home, "Other"); os.makedirs(pa2)
    a.req("PUT", "/rest/config/folders/tdw-00000002", body=folder_body("tdw-00000002", "", pa2, [a.id],
          {"type": "staggered", "params": {"maxAge": "2592000"}}))
    wait(lambda: b.id and a.id in json.loads(b.req("GET", "/rest/cluster/pending/devices")), "pending device")
    b.save("pending-devices.json", "/rest/cluster/pending/devices")
    b.save("pending-folders-none.json", "/rest/cluster/pending/folders")
    b.req("PUT", "/rest/config/devices/" + a.id, body={"deviceID": a.id, "name": "Mac A", "addresses": ["tcp://127.0.0.1:%d" % a.listen],
          "paused": False, "numConnections": 5, "introducer": False})
    wait(lambda: fid in json.loads(b.req("GET", "/rest/cluster/pending/folders")), "pending folder")
    b.save("pending-folders.json", "/rest/cluster/pending/folders")
    # B accepts the folder slowly, so that its needs can be seen mid-transfer.
    b.req("PATCH", "/rest/config/options", body={"maxRecvKbps": 100, "limitBandwidthInLan": True})
    pb = os.path.join(b.home, "Film")
    b.req("PUT", "/rest/config/folders/" + fid, body=folder_body(fid, "Film", pb, [b.id, a.id],
          {"type": "trashcan", "params": {"cleanoutDays": "30"}}))
    wait(lambda: len(json.loads(b.req("GET", "/rest/db/need", {"folder": fid, "perpage": "5"})).get("progress") or []) > 0, "progress")
    b.save("db-need-syncing.json", "/rest/db/need", {"folder": fid, "perpage": "5"})
    b.save("db-status-syncing.json", "/rest/db/status", {"folder": fid})
    a.save("db-completion-partial.json", "/rest/db/completion", {"folder": fid, "device": b.id})
    b.req("PATCH", "/rest/config/options", body={"maxRecvKbps": 0})
    wait(lambda: json.loads(b.req("GET", "/rest/db/status", {"folder": fid})).get("needFiles") == 0 and
         json.loads(b.req("GET", "/rest/db/status", {"folder": fid})).get("state") == "idle", "in sync", 120)
    # Replace a file on A: B archives its old copy.
    with open(os.path.join(pa, "notes.txt"), "w") as f: f.write("second draft, longer\n")
    a.req("POST", "/rest/db/scan", {"folder": fid})
    wait(lambda: json.loads(b.req("GET", "/rest/folder/versions", {"folder": fid})), "versions", 60)
    b.save("folder-versions.json", "/rest/folder/versions", {"folder": fid})
    wait(lambda: json.loads(a.req("GET", "/rest/db/completion", {"folder": fid, "device": b.id})).get("completion") == 100, "completion")
    a.save("db-completion.json", "/rest/db/completion", {"folder": fid, "device": b.id})
    a.save("config-folders.json", "/rest/config/folders")
    a.save("config-devices.json", "/rest/config/devices")
    a.save("system-status.json", "/rest/system/status")
    a.save("system-connections.json", "/rest/system/connections")
    a.save("config-options.json", "/rest/config/options")
    a.save("db-status.json", "/rest/db/status", {"folder": fid})
    a.save("db-browse.json", "/rest/db/browse", {"folder": fid, "levels": "0"})
    a.save("db-ignores.json", "/rest/db/ignores", {"folder": fid})
    a.save("db-ignores-none.json", "/rest/db/ignores", {"folder": "tdw-00000002"})
    a.save("pending-folders-empty.json", "/rest/cluster/pending/folders")
    a.save("folder-versions-empty.json", "/rest/folder/versions", {"folder": "tdw-00000002"})
    print("captured into", OUT)
finally:
    for p in procs:
        p.terminate()
    for p in procs:
        try: p.wait(15)
        except Exception: p.kill()
    shutil.rmtree(ROOT, ignore_errors=True)
