"""An application that is nothing but an accessibility tree, answering as a test tells it to
(run with Debian's /usr/bin/python3, whose PyGObject brings Gio's D-Bus API).

It registers on the accessibility bus the way toolkit bridges do: it connects to the bus whose
address org.a11y.Bus gives, serves the AT-SPI interfaces below /org/a11y/atspi/accessible and
asks the registry to embed its application object (org.a11y.atspi.Socket.Embed). From then on
the registry lists it among the desktop's applications, under this process's pid.

Every incoming call is answered by hand (a message filter, not GDBus's typed objects), so a
scenario can make any answer wrong: another D-Bus signature, an error, a late reply, no reply,
the process exiting or the connection closing mid-call, a string that is not UTF-8.

The scenario is JSON, given as the first argument:

    {
      "toolkit": ["gtk", "3.24.38"],       ToolkitName and Version of the application object
      "collection": false,                 whether elements offer org.a11y.atspi.Collection
      "descendants": "depth_first",        what GetMatches lists when asked to look below the
                                           children: every descendant depth first (as GTK's and
                                           the browsers' bridges do) or "breadth_first"; without
                                           it, the children only
      "nodes": {                           "root" is the application object; a name may be
                                           {"repeat": [text, times]}
        "root": {"role": 75, "name": "fake", "children": ["win"]},
        "win": {"role": 23, "name": "Fake window", "states": [1, 8, 24, 25, 30],
                "children": ["ok", {"ref": [":1.9999", "/x"]}], "child_count": 7,
                "every_child": "ok",               what GetChildAtIndex gives past the list
                "parent": "root", "extents": [0, 0, 100, 50],
                "answers": {"GetRole": BEHAVIOUR, "Name": BEHAVIOUR, ...}},
      },
      "cache": {"keep": 3, "override": {...}, "extra": [...]}, GetItems on /org/a11y/atspi/cache
      "log_calls": "/tmp/file",             the member name of every call, one a line
      "flood": {"count": 100000, "on": "GetRole", "pause_ms": 0}   change signals, sent when
                                           the first call of that name arrives (or at once
                                           without "on"), with a pause between two
    }

A child is a node id or {"ref": [bus name, object path]}. "answers" is keyed by method name
(or property name, for Properties.Get); "cache" may hold "answers" for GetItems too.
BEHAVIOUR is one of:

    {"reply": [SIGNATURE, VALUES]}   this body instead of the right one, e.g. ["(s)", ["x"]]
                                     for a call that answers with a number
    {"variant": [SIGNATURE, VALUE]}  for a property: the value in the variant
    {"error": NAME}                  a D-Bus error reply
    {"delay_ms": N}                  the right answer, N ms late
    {"never": true}                  no answer at all
    {"exit": true}                   the process exits as the call arrives
    {"close": true}                  the connection closes as the call arrives
    {"raw_string": HEX}              a one-string body (a variant for a property) with exactly
                                     these bytes, which need not be UTF-8

Hostile sizes and shapes (each a key of the scenario or of a node):

    "endless": true (scenario)       nodes "g<n>" and "up<n>" exist without end: "g<n>" has
                                     children "g<w*n+1>" ... "g<w*n+w>" (w is "width", 1 by
                                     default), "up<n>" has the parent "up<n+1>"
    "width": 1000 (scenario)
    "delay_all_ms": 1500 (scenario)  every call is answered this late
    "actions": {"count": N, "names": [...]} (node)   the Action interface: NActions is N, the
                                     action at index i is names[i], else "nothing"
    "focusable": true (node)         GrabFocus succeeds
    "labelled_by": {"count": N, "target": id} (node)  one labelled-by relation with N targets
    "state_words": N (node)          GetState answers N more words, every bit set
    "editable": true, "text": "..." (node)   Text and EditableText over the node's "text"

It prints "ready" and its unique bus name on standard output once embedded, then "flooded" when a flood is sent.
"""

import json
import os
import struct
import sys
import threading
import time

from gi.repository import Gio, GLib

ROOT_PATH = "/org/a11y/atspi/accessible/root"
PREFIX = "/org/a11y/atspi/accessible/"
CACHE_PATH = "/org/a11y/atspi/cache"
NULL_PATH = "/org/a11y/atspi/null"
REGISTRY = "org.a11y.atspi.Registry"

ROLE_APPLICATION = 75
ROLE_FRAME = 23
ROLE_PANEL = 39
RELATION_LABELLED_BY = 2
STATE_WORDS = 2


class Fake:
    def __init__(self, scenario):
        self.scenario = scenario
        self.nodes = scenario.get("nodes") or {"root": {"role": ROLE_APPLICATION, "children": []}}
        self.nodes.setdefault("root", {"role": ROLE_APPLICATION, "children": []})
        if scenario.get("endless"):
            self.nodes = EndlessNodes(self.nodes, scenario.get("width", 1))
        self.parents = {}
        for node_id, node in self.nodes.items():
            for child in node.get("children", []):
                if isinstance(child, str):
                    self.parents.setdefault(child, node_id)
        self.registry_root = (REGISTRY, ROOT_PATH)
        self.loop = GLib.MainLoop()
        self.connection = Gio.DBusConnection.new_for_address_sync(
            accessibility_bus_address(),
            Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
            | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
            None,
            None,
        )
        self.connection.set_exit_on_close(False)
        self.name = self.connection.get_unique_name()
        self.serial = 0x40000000
        self.flooding = False
        log = scenario.get("log_calls")
        self.log = open(log, "a", encoding="utf-8") if log else None
        self.connection.add_filter(self.filter)

    # --- References ------------------------------------------------------------------------

    def path_of(self, node_id):
        return ROOT_PATH if node_id == "root" else PREFIX + node_id

    def node_at(self, path):
        if path == ROOT_PATH:
            return "root"
        if path.startswith(PREFIX) and path[len(PREFIX) :] in self.nodes:
            return path[len(PREFIX) :]
        return None

    def ref(self, entry):
        if isinstance(entry, dict):
            return tuple(entry["ref"])
        return (self.name, self.path_of(entry))

    def null_ref(self):
        return (self.name, NULL_PATH)

    def parent_ref(self, node_id):
        parent = self.nodes[node_id].get("parent", self.parents.get(node_id))
        if parent is None:
            return self.registry_root if node_id == "root" else self.null_ref()
        return self.ref(parent)

    def children(self, node_id):
        return self.nodes[node_id].get("children", [])

    def child_count(self, node_id):
        return self.nodes[node_id].get("child_count", len(self.children(node_id)))

    # --- Answers ---------------------------------------------------------------------------

    def states(self, node):
        words = [0] * STATE_WORDS
        for state in node.get("states", [8, 24, 25, 30] if node.get("role") != 75 else []):
            words[state // 32] |= 1 << (state % 32)
        return words

    def properties(self, node_id):
        node = self.nodes[node_id]
        values = {
            "Name": GLib.Variant("s", text_of(node.get("name", ""))),
            "Description": GLib.Variant("s", node.get("description", "")),
            "Parent": GLib.Variant("(so)", self.parent_ref(node_id)),
            "ChildCount": GLib.Variant("i", self.child_count(node_id)),
            "Locale": GLib.Variant("s", "C"),
            "AccessibleId": GLib.Variant("s", node.get("id", "")),
            "HelpText": GLib.Variant("s", ""),
        }
        if "actions" in node:
            values["NActions"] = GLib.Variant("i", node["actions"]["count"])
        if node.get("editable"):
            values["CharacterCount"] = GLib.Variant("i", len(node.get("text", "")))
        if node_id == "root":
            toolkit = self.scenario.get("toolkit", ["FakeKit", "1.0"])
            values.update(
                ToolkitName=GLib.Variant("s", toolkit[0]),
                Version=GLib.Variant("s", toolkit[1]),
                AtspiVersion=GLib.Variant("s", "2.1"),
                Id=GLib.Variant("i", 1),
            )
        return values

    def interfaces(self, node_id):
        names = ["org.a11y.atspi.Accessible"]
        if node_id == "root":
            names.append("org.a11y.atspi.Application")
        else:
            names.append("org.a11y.atspi.Component")
        if self.scenario.get("collection"):
            names.append("org.a11y.atspi.Collection")
        if "actions" in self.nodes[node_id]:
            names.append("org.a11y.atspi.Action")
        if self.nodes[node_id].get("editable"):
            names += ["org.a11y.atspi.Text", "org.a11y.atspi.EditableText"]
        return names

    def cache_item(self, node_id, override):
        node = self.nodes[node_id]
        parent = override.get("parent")
        parent = self.parent_ref(node_id) if parent is None else self.ref(parent)
        siblings = self.children(self.parents[node_id]) if node_id in self.parents else []
        return (
            self.ref(node_id),
            (self.name, ROOT_PATH),
            parent,
            override.get("index", siblings.index(node_id) if node_id in siblings else -1),
            override.get("child_count", self.child_count(node_id)),
            self.interfaces(node_id),
            text_of(override.get("name", node.get("name", ""))),
            node.get("role", ROLE_FRAME),
            node.get("description", ""),
            self.states(node),
        )

    def cache_items(self):
        """Every node as GTK 3 describes it in one bulk reply, changed as the scenario says:
        "override" maps node ids to fields to give instead ("parent", "child_count", "name",
        "index"), "extra" lists further items ({"node": id, ...fields}), "keep" cuts the list."""
        cache = self.scenario.get("cache", {})
        overrides = cache.get("override", {})
        items = [self.cache_item(node_id, overrides.get(node_id, {})) for node_id in self.nodes]
        items += [self.cache_item(extra["node"], extra) for extra in cache.get("extra", [])]
        if "keep" in cache:
            items = items[: cache["keep"]]
        return GLib.Variant("(a((so)(so)(so)iiassusau))", (items,))

    def answer(self, node_id, interface, member, args):
        """The right answer to a call, as a body variant, or an error name."""
        node = self.nodes.get(node_id) if node_id is not None else None
        if member in ("Ping", "GetMachineId") and interface == "org.freedesktop.DBus.Peer":
            return GLib.Variant("()", ()) if member == "Ping" else GLib.Variant("(s)", ("0" * 32,))
        if interface == "org.freedesktop.DBus.Introspectable":
            return GLib.Variant("(s)", ("<node/>",))
        if node_id == "cache" and member == "GetItems":
            return self.cache_items()
        if node is None:
            return "org.freedesktop.DBus.Error.UnknownObject"
        if interface == "org.freedesktop.DBus.Properties":
            if member == "Get":
                value = self.properties(node_id).get(args[1])
                if value is None:
                    return "org.freedesktop.DBus.Error.UnknownProperty"
                return GLib.Variant("(v)", (value,))
            if member == "GetAll":
                return GLib.Variant("(a{sv})", (self.properties(node_id),))
            if member == "Set":
                return GLib.Variant("()", ())
        children = self.children(node_id)
        simple = {
            "GetRole": lambda: GLib.Variant("(u)", (node.get("role", ROLE_FRAME),)),
            "GetRoleName": lambda: GLib.Variant("(s)", ("fake",)),
            "GetLocalizedRoleName": lambda: GLib.Variant("(s)", ("fake",)),
            "GetState": lambda: GLib.Variant("(au)", (self.states(node),)),
            "GetChildren": lambda: GLib.Variant("(a(so))", ([self.ref(c) for c in children],)),
            "GetIndexInParent": lambda: GLib.Variant("(i)", (0,)),
            "GetRelationSet": lambda: GLib.Variant("(a(ua(so)))", ([],)),
            "GetAttributes": lambda: GLib.Variant("(a{ss})", ({},)),
            "GetApplication": lambda: GLib.Variant("((so))", ((self.name, ROOT_PATH),)),
            "GetInterfaces": lambda: GLib.Variant("(as)", (self.interfaces(node_id),)),
            "GetLocale": lambda: GLib.Variant("(s)", ("C",)),
            "GetApplicationBusAddress": lambda: GLib.Variant("(s)", ("",)),
            "GetExtents": lambda: GLib.Variant("((iiii))", (tuple(node.get("extents", [0, 0, 1, 1])),)),
        }
        if member == "GetMatches" and self.scenario.get("collection"):
            order = self.scenario.get("descendants") if args[3] else None
            if not order:
                return GLib.Variant("(a(so))", ([self.ref(c) for c in children],))
            listed = [c for c in self.descendants(node_id, order) if self.matches(args[0], c)]
            return GLib.Variant("(a(so))", ([self.ref(c) for c in listed],))
        if member == "GetChildAtIndex":
            index = args[0]
            entry = children[index] if 0 <= index < len(children) else node.get("every_child")
            return GLib.Variant("((so))", (self.ref(entry) if entry is not None else self.null_ref(),))
        hostile = self.hostile_answer(node, member, args)
        if hostile is not None:
            return hostile
        if member in simple:
            return simple[member]()
        return "org.freedesktop.DBus.Error.UnknownMethod"

    def matches(self, rule, node_id):
        """Whether the node's states match a Collection rule's states (all, any or none of
        them), as a bridge tests them; the rest of the rule is not looked at."""
        wanted, how = [w & 0xFFFFFFFF for w in rule[0]], rule[1]
        have = self.states(self.nodes[node_id])
        common = [w & h for w, h in zip(wanted, have)]
        if how == 1:  # all
            return all(c == w for c, w in zip(common, wanted))
        if how == 2:  # any
            return any(common) or not any(wanted)
        if how == 3:  # none
            return not any(common)
        return True

    def descendants(self, node_id, order):
        """Every node below `node_id` (nodes of this application only), depth first or
        breadth first."""
        listed, pending, seen = [], [c for c in self.children(node_id) if isinstance(c, str)], set()
        while pending:
            child = pending.pop(0)
            if child in seen:  # an element among its own descendants is listed once
                continue
            seen.add(child)
            listed.append(child)
            below = [c for c in self.children(child) if isinstance(c, str)]
            pending = below + pending if order == "depth_first" else pending + below
        return listed

    # --- Hostile sizes ---------------------------------------------------------------------

    def hostile_answer(self, node, member, args):
        """The answers of the node keys that make sizes hostile, or None."""
        if member == "GetName" and "actions" in node:
            names = node["actions"].get("names", [])
            return GLib.Variant("(s)", (names[args[0]] if 0 <= args[0] < len(names) else "nothing",))
        if member in ("GetDescription", "GetKeyBinding") and "actions" in node:
            return GLib.Variant("(s)", ("",))
        if member == "DoAction" and "actions" in node:
            return GLib.Variant("(b)", (True,))
        if member == "GrabFocus" and node.get("focusable"):
            return GLib.Variant("(b)", (True,))
        if member == "GetRelationSet" and "labelled_by" in node:
            labelled = node["labelled_by"]
            targets = [self.ref(labelled["target"])] * labelled["count"]
            return GLib.Variant("(a(ua(so)))", ([(RELATION_LABELLED_BY, targets)],))
        if node.get("editable") and member == "GetText":
            text = node.get("text", "")
            return GLib.Variant("(s)", (text[args[0]:args[1] if args[1] >= 0 else len(text)],))
        if node.get("editable") and member == "SetTextContents":
            node["text"] = args[0]
            return GLib.Variant("(b)", (True,))
        if member == "GetState" and "state_words" in node:
            return GLib.Variant("(au)", (self.states(node) + [0xFFFFFFFF] * node["state_words"],))
        return None

    # --- The wire --------------------------------------------------------------------------

    def filter(self, connection, message, incoming):
        # Runs on GDBus's worker thread; every call is answered on the main loop, in order.
        if not incoming or message.get_message_type() != Gio.DBusMessageType.METHOD_CALL:
            return message
        GLib.idle_add(self.handle, message)
        return None

    def handle(self, message):
        path = message.get_path()
        interface = message.get_interface()
        member = message.get_member()
        body = message.get_body()
        args = body.unpack() if body is not None else ()
        node_id = "cache" if path == CACHE_PATH else self.node_at(path)
        if self.log is not None:
            self.log.write(member + "\n")
            self.log.flush()
        key = member
        if interface == "org.freedesktop.DBus.Properties" and member == "Get" and len(args) == 2:
            key = args[1]
        answers = (self.scenario.get("cache", {}) if node_id == "cache" else
                   self.nodes.get(node_id, {})).get("answers", {})
        behaviour = answers.get(key, {})
        flood = self.scenario.get("flood")
        if flood and flood.get("on") == member and not self.flooding:
            self.flooding = True
            threading.Thread(target=self.flood, args=(flood["count"], flood.get("pause_ms", 0)), daemon=True).start()
        if behaviour.get("exit"):
            os._exit(0)
        if behaviour.get("close"):
            self.connection.close_sync(None)
            return False
        if behaviour.get("never"):
            return False
        if "delay_ms" not in behaviour and "delay_all_ms" in self.scenario and not behaviour:
            behaviour = {"delay_ms": self.scenario["delay_all_ms"]}
        if "delay_ms" in behaviour:
            GLib.timeout_add(behaviour["delay_ms"], self.reply, message, node_id, interface, member, args, {})
            return False
        self.reply(message, node_id, interface, member, args, behaviour)
        return False

    def reply(self, message, node_id, interface, member, args, behaviour):
        if message.get_flags() & Gio.DBusMessageFlags.NO_REPLY_EXPECTED:
            return False
        if "raw_string" in behaviour:
            in_variant = interface == "org.freedesktop.DBus.Properties"
            self.send_raw_string(message, bytes.fromhex(behaviour["raw_string"]), in_variant)
            return False
        if "error" in behaviour:
            answer = behaviour["error"]
        elif "reply" in behaviour:
            signature, values = behaviour["reply"]
            answer = GLib.Variant(signature, tuple(values) if signature.startswith("(") else values)
        elif "variant" in behaviour:
            signature, value = behaviour["variant"]
            answer = GLib.Variant("(v)", (GLib.Variant(signature, value),))
        else:
            answer = self.answer(node_id, interface, member, args)
        if isinstance(answer, str):
            out = message.new_method_error_literal(answer, f"{member} refused")
        else:
            out = message.new_method_reply()
            out.set_body(answer)
        try:
            self.connection.send_message(out, Gio.DBusSendMessageFlags.NONE)
        except GLib.Error:
            pass  # the connection is closed: nothing more to say
        return False

    def send_raw_string(self, call, data, in_variant):
        """A reply whose one string argument holds `data` unchecked, written straight to the
        socket: GDBus and libdbus refuse to send text that is not UTF-8."""
        self.serial += 1

        def pad(buffer, alignment):
            buffer.extend(b"\0" * (-len(buffer) % alignment))

        body = struct.pack("<I", len(data)) + data + b"\0"
        if in_variant:
            body = b"\x01s\0\0" + body
        header = bytearray(b"l\x02\x01\x01" + struct.pack("<II", len(body), self.serial))
        fields = bytearray()
        fields += b"\x05\x01u\0" + struct.pack("<I", call.get_serial())
        pad(fields, 8)
        destination = call.get_sender().encode()
        fields += b"\x06\x01s\0" + struct.pack("<I", len(destination)) + destination + b"\0"
        pad(fields, 8)
        fields += b"\x08\x01g\0\x01" + (b"v" if in_variant else b"s") + b"\0"
        header += struct.pack("<I", len(fields)) + b"\0" * 4 + fields
        pad(header, 8)
        fd = self.connection.get_stream().get_socket().get_fd()
        os.write(fd, bytes(header) + body)

    # --- Registering ------------------------------------------------------------------------

    def embed(self):
        reply = self.connection.call_sync(
            REGISTRY,
            ROOT_PATH,
            "org.a11y.atspi.Socket",
            "Embed",
            GLib.Variant("((so))", ((self.name, ROOT_PATH),)),
            GLib.VariantType("((so))"),
            Gio.DBusCallFlags.NONE,
            5000,
            None,
        )
        self.registry_root = tuple(reply.unpack()[0])

    def flood(self, count, pause_ms=0):
        # Sent from a thread so that calls keep being answered meanwhile.
        for i in range(count):
            if pause_ms:
                time.sleep(pause_ms / 1000)
            member, detail = (
                ("PropertyChange", "accessible-name"),
                ("ChildrenChanged", "add"),
                ("StateChanged", "showing"),
            )[i % 3]
            try:
                self.connection.emit_signal(
                    None,
                    self.path_of("root"),
                    "org.a11y.atspi.Event.Object",
                    member,
                    GLib.Variant("(siiva{sv})", (detail, i % 2, 0, GLib.Variant("s", "x"), {})),
                )
            except GLib.Error:
                return
        self.connection.flush_sync(None)
        print("flooded", flush=True)

    def run(self):
        self.embed()
        print("ready", self.name, flush=True)
        flood = self.scenario.get("flood")
        if flood and not flood.get("on"):
            self.flooding = True
            threading.Thread(target=self.flood, args=(flood["count"], flood.get("pause_ms", 0)), daemon=True).start()
        self.loop.run()


class EndlessNodes(dict):
    """The scenario's nodes, and generated ones without end (see "endless" above)."""

    def __init__(self, nodes, width):
        super().__init__(nodes)
        self.width = width

    def made(self, key):
        for prefix in ("g", "up"):
            if isinstance(key, str) and key.startswith(prefix) and key[len(prefix):].isdigit():
                n = int(key[len(prefix):])
                if prefix == "g":
                    children = [f"g{self.width * n + i + 1}" for i in range(self.width)]
                    return {"role": ROLE_PANEL, "name": key, "children": children}
                return {"role": ROLE_PANEL, "name": key, "parent": f"up{n + 1}"}
        return None

    def __contains__(self, key):
        return super().__contains__(key) or self.made(key) is not None

    def __missing__(self, key):
        node = self.made(key)
        if node is None:
            raise KeyError(key)
        return node

    def get(self, key, default=None):
        return self[key] if key in self else default


# --- Scenarios of the batched reads: very many children, and bulk replies of claimed counts ---
# "nodes": {"win": {"children_repeat": [CHILD, N]}} gives the node N children, all CHILD (too
# many to write out on a command line); "cache": {"chain": {"count": N, "child_count": M}} adds
# N items to the bulk reply, each the parent of the next and each claiming M children.

_listed_children = Fake.children
_listed_cache_items = Fake.cache_items


def _children(self, node_id):
    repeat = self.nodes[node_id].get("children_repeat")
    if repeat is not None:
        return [repeat[0]] * repeat[1]
    return _listed_children(self, node_id)


def _cache_items(self):
    reply = _listed_cache_items(self)
    chain = self.scenario.get("cache", {}).get("chain")
    if not chain:
        return reply
    items = list(reply.unpack()[0])
    for i in range(chain["count"]):
        parent = PREFIX + f"chain{i - 1}" if i else PREFIX + "nowhere"
        items.append(((self.name, PREFIX + f"chain{i}"), (self.name, ROOT_PATH), (self.name, parent),
                      0, chain["child_count"], ["org.a11y.atspi.Accessible"], f"chain {i}",
                      ROLE_FRAME, "", [0, 0]))
    return GLib.Variant("(a((so)(so)(so)iiassusau))", (items,))


def _answer(self, node_id, interface, member, args):
    # The long lists are built once, before the application registers: built per call they
    # would take the application longer than a caller waits.
    cached = getattr(self, "_long_answers", {}).get((node_id, member))
    if cached is not None:
        return cached
    return _plain_answer(self, node_id, interface, member, args)


def _run(self):
    self._long_answers = {}
    for node_id, node in self.nodes.items():
        if "children_repeat" in node:
            children = GLib.Variant("(a(so))", ([self.ref(c) for c in self.children(node_id)],))
            self._long_answers[(node_id, "GetChildren")] = children
            if self.scenario.get("collection"):
                self._long_answers[(node_id, "GetMatches")] = children
    if self.scenario.get("cache", {}).get("chain"):
        self._long_answers[("cache", "GetItems")] = self.cache_items()
    _plain_run(self)


_plain_answer = Fake.answer
_plain_run = Fake.run
Fake.children = _children
Fake.cache_items = _cache_items
Fake.answer = _answer
Fake.run = _run


def text_of(value):
    """A text, or {"repeat": [text, n]} for one too long for a command line."""
    if isinstance(value, dict):
        text, times = value["repeat"]
        return text * times
    return value


def accessibility_bus_address():
    address = os.environ.get("AT_SPI_BUS_ADDRESS")
    if address:
        return address
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    reply = session.call_sync(
        "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
        GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 5000, None,
    )
    return reply.unpack()[0]


def main():
    scenario = json.loads(sys.argv[1]) if len(sys.argv) > 1 else {}
    name = scenario.get("process_name", "pxfake")
    try:
        import ctypes

        ctypes.CDLL(None).prctl(15, ctypes.c_char_p(name.encode()), 0, 0, 0)
    except OSError:
        pass
    Fake(scenario).run()


if __name__ == "__main__":
    main()
