#!/usr/bin/python3
"""The desktop's address books through the real `ringdesk --headless` on the simulated modem,
against a real Evolution Data Server on a private session bus: callers found by an E.164 card,
a national one and a seven-digit one, and by name; a contact and a memo made and read back with
the service's own library (Python's gi bindings); the service frozen in the middle of the calls
(a look-up given up after 2 s, said, found again once it answers); `auto` with and without the
service, and the folder's line that tells how to switch. Edits made elsewhere are
tst_desktopcontacts's.

Usage: desktop_contacts.py BIN_DIR
Exits 77 (skipped) when Evolution Data Server, its gi bindings or dbus-run-session is missing.
"""
import atexit
import os
import re
import shutil
import signal
import sqlite3
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from privatebus import on_private_bus  # noqa: E402
from ringhome import Home, check, finish, wait_until  # noqa: E402

FACTORY = "/usr/libexec/evolution-addressbook-factory"
try:
    import gi
    gi.require_version("EBook", "1.2")
    gi.require_version("EBookContacts", "1.2")
    gi.require_version("EDataServer", "1.2")
    gi.require_version("ECal", "2.0")
    from gi.repository import EBook, EBookContacts, ECal, EDataServer
except (ImportError, ValueError) as missing:
    print(f"SKIP: the gi bindings of Evolution Data Server are missing ({missing})")
    sys.exit(77)
if not (shutil.which("dbus-run-session") and os.path.exists(FACTORY)):
    print("SKIP: dbus-run-session or evolution-data-server is not installed")
    sys.exit(77)

top = on_private_bus("ringdesk-eds-")
started = time.time()
try:
    registry = EDataServer.SourceRegistry.new_sync(None)
    book = EBook.BookClient.connect_sync(registry.ref_default_address_book(), 2**32 - 1, None)
except Exception as failure:  # noqa: BLE001 - any failure to start means the service cannot
    print(f"SKIP: Evolution Data Server does not start here ({failure})")
    sys.exit(77)
print(f"     the service answered in {time.time() - started:.1f} s")


def add(card):
    contact = EBookContacts.Contact.new_from_vcard(
        "BEGIN:VCARD\r\nVERSION:3.0\r\n" + card + "END:VCARD\r\n")
    return book.add_contact_sync(contact, EBookContacts.BookOperationFlags.NONE, None)[1]


def contacts(query):
    return book.get_contacts_sync(query, None)[1]


add("N:Known;Kim;;;\r\nFN:Kim Known\r\nTEL;TYPE=WORK:+1 613 555 1234\r\n")
add("N:;;;;\r\nFN:Plumbing Co\r\nORG:Plumbing Co\r\nTEL;TYPE=WORK:613-555-0199\r\n")
add("N:Tremblay;Marie;;;\r\nFN:Marie Tremblay\r\nTEL;TYPE=HOME:555-0142\r\n")
add("N:Lee;Sam;;;\r\nFN:Sam Lee\r\nTEL;TYPE=CELL:+44 20 7946 0958\r\n")

homes = []


def start(source, settings=""):
    home = Home(sys.argv[1], "ringdesk-desktop-")
    homes.append(home)
    atexit.register(home.stop)
    home.start_modem()
    home.settings(f"[Setup]\nAreaCode=613\nAutoCreateContact=1\nAutoSearchContact=1\n"
                  f"[Contacts]\nSource={source}\n{settings}")
    home.start_monitor()
    check(wait_until(lambda: "[Contacts: " in home.said() and "[System Ready" in home.said(), 30),
          f"{source}: the source is said")
    return home


def contact_line(home):
    return next((line for line in home.said().splitlines() if line.startswith("[Contacts: ")),
                "")


def found_after(home, count):
    return wait_until(lambda: home.said().count("Call: ") >= count, 20)


home = start("desktop")
check("[Contacts: the desktop's address books (Personal" in contact_line(home),
      f"desktop: the desktop's books are used ({contact_line(home)})")
for n, (number, name, who) in enumerate((
        ("6135551234", "SMITH JOHN", "Kim Known"),      # an E.164 card, a national caller
        ("16135550199", None, "Plumbing Co"),           # a national card, a number alone
        ("6135550142", "TREMBLAY MARIE", "Marie Tremblay"),  # a seven-digit card
        ("011442079460958", "LEE SAM", "Sam Lee")), 1):    # abroad
    home.modem_says(f"call {number} {name}" if name else f"number {number}")
    check(found_after(home, n) and wait_until(lambda: home.said().count("[Found it!") == n),
          f"{who} is found by the number")
with sqlite3.connect(f"file:{home.data}/calls.sqlite?mode=ro", uri=True) as db:
    named = [row[0] for row in db.execute("SELECT contact_name FROM calls ORDER BY id")]
check(named == ["Kim Known", "Plumbing Co", "Marie Tremblay", "Sam Lee"],
      f"the history names each call's contact ({named})")

# By name and number: the first search, by the names the card has, finds it.
misses = home.said().count("[Couldn't find it!]")
home.modem_says("call 6135551234 KNOWN KIM")
check(found_after(home, 5) and wait_until(lambda: home.said().count("[Found it!") == 5) and
      home.said().count("[Couldn't find it!]") == misses, "Kim Known is found by name")

# Each found caller's journal entry is a memo in the desktop's memo list.
memos = ECal.Client.connect_sync(registry.ref_default_memo_list(), ECal.ClientSourceType.MEMOS,
                                 2**32 - 1, None)
entries = wait_until(lambda: memos.get_object_list_as_comps_sync("#t", None)[1], 20) or []
texts = [entry.get_as_string() for entry in entries]
check(any("SUMMARY:KNOWN KIM logged by Ringwatch" in text and "CONTACT:Kim Known" in text and
          "CATEGORIES:Phone Call" in text for text in texts),
      f"the journal entry is a memo with its subject, type and contact ({len(texts)} memos)")

# A caller nobody knows: a card is made in the default book, as the folder's would be.
home.modem_says("call 6135550177 DOE JANE")
check(found_after(home, 6), "an unknown caller is logged")
made = wait_until(lambda: contacts('(is "family_name" "DOE")'), 20) or []
card = made[0].to_string(EBookContacts.VCardFormat(1)) if made else ""  # 3.0
check(len(made) == 1 and "\r\nN:DOE;JANE;" in card and
      re.search(r"\r\nTEL;[^:\r\n]*TYPE=WORK[^:\r\n]*:\+1 613-555-0177\r\n", card),
      f"a contact is made in the desktop's book ({len(made)}: {card!r})")

# The service frozen: the call goes on after 2 s with one line, and is found once it answers.
factories = [int(pid) for pid in subprocess.run(["pgrep", "-f", "evolution-addressbook-factory"],
                                                capture_output=True, text=True).stdout.split()]
for pid in factories:
    os.kill(pid, signal.SIGSTOP)
asked = time.time()
home.modem_says("call 6135551234 SMITH JOHN")
check(found_after(home, 7), "with the service frozen the call is logged")
waited = time.time() - asked
check(waited < 4, f"after the look-up is given up ({waited:.1f} s)")
check(home.said().count("did not answer within 2 s]") == 1, "and that is said once")
check("[No new contact: the address book did not answer]" in home.said(),
      "no second card is made for a caller who may have one")
for pid in factories:
    os.kill(pid, signal.SIGCONT)


def call_found():
    """One more call from Kim: whether it was found. A call that comes while the monitor still
    leaves the service alone after giving up (a moment) is logged as not found."""
    calls, found = home.said().count("Call: "), home.said().count("[Found it!")
    home.modem_says("call 6135551234 SMITH JOHN")
    found_after(home, calls + 1)
    return home.said().count("[Found it!") > found


check(wait_until(call_found, 30, step=0.2), "the service back, the caller is found again")
home.stop()

# auto: the desktop's when its service answers, else the folder.
home = start("auto")
check(contact_line(home).startswith("[Contacts: the desktop's address books"),
      f"auto with the service: the desktop's ({contact_line(home)})")
home.stop()
home = Home(sys.argv[1], "ringdesk-desktop-")
homes.append(home)
home.env.update(DBUS_SESSION_BUS_ADDRESS=f"unix:path={top}/no-bus",
                XDG_CONFIG_HOME=f"{home.path}/config")
home.start_modem()
home.settings("[Contacts]\nSource=auto\n")
home.start_monitor()
check(wait_until(lambda: "[Contacts: " in home.said(), 30) and
      "[Contacts: the desktop's address book does not answer; the folder " in contact_line(home),
      f"auto without the service: the folder ({contact_line(home)})")
home.stop()

# The folder, empty, on a desktop whose book answers: the line says how to switch.
home = start("folder")
check("which is empty; the desktop's address book answers: set Contacts/Source" in
      contact_line(home), f"folder: how to switch is said ({contact_line(home)})")
home.stop()

finish(homes, "ringdesk finds, makes and keeps contacts in the desktop's address books.")
