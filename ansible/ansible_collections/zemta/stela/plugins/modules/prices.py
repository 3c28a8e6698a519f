# The documentation of zemta.stela.prices; the work is done by the action plugin of the
# same name on the controller (plugins/action/prices.py).

DOCUMENTATION = r'''
---
module: prices
short_description: Set the fuel prices on a filling station's LED price sign
description:
  - Runs C(zemta-sign write --json) on the station the task runs for, and judges the
    tool's JSON on the controller.
  - The tool reads the whole sign first, then sends every panel back as it was except
    the rows named, and checks by a read-back that every panel took the write. A row
    that already shows its price gets no frame at all, so running the same task again
    sends nothing.
  - If any panel of the sign gives no good reply to that first read, nothing is written
    and the task fails for this station.
  - Linux stations are reached through M(ansible.builtin.command); Windows stations
    (PowerShell, over OpenSSH or WinRM) through M(ansible.windows.win_command), which
    needs the collection C(ansible.windows) on the controller.
  - A station that did not take the prices fails with the tool's message; the other
    stations go on.
version_added: 1.0.0
options:
  rows:
    description:
      - The rows to set, a mapping of row number (1 at the bottom to 10 at the top) to
        its price.
      - Each price is a quoted string of exactly three digits, for example C("045").
        A number is refused, and nothing is sent to that sign, because YAML reads an
        unquoted C(045) as the number 37.
      - Both halves of a row get the price; each keeps its own grade and flags.
    type: dict
    default: {}
  unused:
    description:
      - Rows to mark not used; their panels show C(---).
      - A row may not be both in I(rows) and here.
    type: list
    elements: int
    default: []
attributes:
  check_mode:
    description: Runs C(zemta-sign write --dry-run --json), which reads the sign and
      sends nothing; the task reports C(changed) when the write would send a frame.
    support: full
  diff_mode:
    description: Shows, for each row the write sends a frame to, the price in the first
      and second half before and after (in check mode, as the write would leave it).
    support: full
notes:
  - C(changed) is true only when a frame was sent to the sign.
  - On Linux the user Ansible connects as must be in the group C(dialout).
  - While the window C(zemta-stela) holds the port the task fails with the tool's
    message, which names the window (zemta-sign exit status 3).
extends_documentation_fragment:
  - zemta.stela.zemta_sign
  - zemta.stela.zemta_sign.port
seealso:
  - module: zemta.stela.sign_info
author:
  - zemta-stela developers
'''

EXAMPLES = r'''
- name: Morning prices for the station's sign
  zemta.stela.prices:
    port: COM1
    rows:
      1: "459"
      2: "489"
      3: "512"
    unused: [9, 10]

- name: The region's prices from group variables, the port from host variables
  zemta.stela.prices:
    rows: "{{ zemta_prices }}"
    unused: "{{ zemta_unused | default([]) }}"
    port: "{{ zemta_port }}"
  register: price_change

- name: A station with the tool elsewhere
  zemta.stela.prices:
    port: COM3
    executable: /opt/zemta/bin/zemta-sign
    rows: {3: "469"}
'''

RETURN = r'''
result:
  description:
    - The JSON object of C(zemta-sign write --json), as the tool printed it.
    - For each row (10 down to 1) and half, C(before) (as read before the write),
      C(planned) (the frame sent, or null when none was needed), C(after) (the
      read-back; null in check mode) and C(verdict), one of C(unchanged), C(written),
      C(not_taken), C(no_reply), C(left_out), and in check mode C(would_write).
    - C(problems) holds the lines of the tool's message; C(held_by) names the program
      that holds the port.
  returned: when the tool printed its JSON
  type: dict
  sample:
    port: COM1
    dry_run: false
    changed: true
    rows:
      - row: 3
        first:
          before: {price: "459", grade: "95", snowflake: false, euro: true, ok: true,
                   grade_code: "3", flags: 50}
          planned: {price: "469", grade: "95", snowflake: false, euro: true, ok: true,
                    grade_code: "3", flags: 50}
          after: {price: "469", grade: "95", snowflake: false, euro: true, ok: true,
                  grade_code: "3", flags: 50}
          verdict: written
        second: {}
    problems: []
    held_by: null
rc:
  description: The exit status of zemta-sign (0 done and confirmed, 1 not confirmed or
    the sign unreadable, 2 usage error, 3 port unusable).
  returned: when the tool ran
  type: int
  sample: 0
msg:
  description: The tool's message, when the station failed.
  returned: failure
  type: str
  sample: "Стела не приняла цены: ряд 3, вторая половина: записано 469, на стеле 459"
'''
