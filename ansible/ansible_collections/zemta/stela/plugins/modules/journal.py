# The documentation of zemta.stela.journal; the work is done by the action plugin of
# the same name on the controller (plugins/action/journal.py).

DOCUMENTATION = r'''
---
module: journal
short_description: Fetch a filling station's price journal records since a given time
description:
  - Runs C(zemta-sign journal --json --since) on the station the task runs for and
    returns the journal's records as the station stores them, one JSON object a record.
  - The journal holds every price write, brightness and effect command of the station's
    window and command-line tool, and every change a read of the sign noticed. Each
    record carries the SHA-256 of the line before it.
  - It only reads the station's journal and never changes anything on the station, in
    check mode too; only I(dest), on the controller, is written.
version_added: 1.0.0
options:
  since:
    description:
      - Only the records from this moment on, in the station's local time; a date
        (C(2026-12-09)) or a date and time (C(2026-12-09 08:00)).
      - Without it and without I(dest), every record.
    type: str
  dest:
    description:
      - A file on the controller that collects the station's records. Only the records
        after its last line are fetched, and they are appended to it, each on a line of
        its own, as the station stores them; the file and its folder are made when
        missing.
      - The records are found by the journal's hash chain (the SHA-256 of the file's
        last line), so none is fetched twice or left out, even several in one second.
        When that line is no longer in the station's journal, the records later than
        its time are fetched, with a warning.
      - C(changed) then tells whether the file grew; in check mode it is left as it is.
      - Mutually exclusive with I(since).
    type: path
  journal:
    description:
      - Another journal file on the station (C(zemta-sign --journal)); by default the
        station's own.
    type: str
attributes:
  check_mode:
    description: Reads the journal in check mode as well.
    support: full
  diff_mode:
    description: Changes nothing, so there is no diff.
    support: none
extends_documentation_fragment:
  - zemta.stela.zemta_sign
seealso:
  - module: zemta.stela.prices
  - module: zemta.stela.sign_info
author:
  - zemta-stela developers
'''

EXAMPLES = r'''
- name: The records of the last week
  zemta.stela.journal:
    since: "2026-12-03"
  register: journal

- name: The records added since the last run, appended to the station's file
  zemta.stela.journal:
    dest: "journals/{{ inventory_hostname }}.jsonl"
  register: journal
'''

RETURN = r'''
lines:
  description: The records' lines as the station stores them, oldest first; a file
    that collects them keeps the station's hash chain.
  returned: success
  type: list
  elements: str
records:
  description: The same records as objects, with C(time), C(host), C(user),
    C(program), C(version), C(port), C(event) and the fields of their kind.
  returned: success
  type: list
  elements: dict
count:
  description: How many records were returned (and appended to I(dest)).
  returned: success
  type: int
  sample: 3
rc:
  description: The exit status of zemta-sign (0 read, 1 the journal cannot be read).
  returned: when the tool ran
  type: int
  sample: 0
msg:
  description: The tool's message, when the station failed.
  returned: failure
  type: str
'''
