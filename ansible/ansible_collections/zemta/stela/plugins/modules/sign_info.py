# The documentation of zemta.stela.sign_info; the work is done by the action plugin of
# the same name on the controller (plugins/action/sign_info.py).

DOCUMENTATION = r'''
---
module: sign_info
short_description: Read what a filling station's LED price sign shows now
description:
  - Runs C(zemta-sign read --json) on the station the task runs for and returns the
    tool's JSON, for reports and monitoring.
  - It only reads the sign and never changes anything, in check mode too.
  - A sign with a panel that gives no good reply fails the task for that station, with
    the tool's message; the panels it could read are still returned in C(result).
version_added: 1.0.0
options: {}
attributes:
  check_mode:
    description: Reads the sign in check mode as well.
    support: full
  diff_mode:
    description: Changes nothing, so there is no diff.
    support: none
extends_documentation_fragment:
  - zemta.stela.zemta_sign
  - zemta.stela.zemta_sign.port
seealso:
  - module: zemta.stela.prices
author:
  - zemta-stela developers
'''

EXAMPLES = r'''
- name: What the sign shows
  zemta.stela.sign_info:
    port: "{{ zemta_port }}"
  register: sign

- name: The first half's prices, row 10 down to row 1
  ansible.builtin.debug:
    msg: "{{ sign.result.rows | map(attribute='first.price') | list }}"
'''

RETURN = r'''
result:
  description:
    - The JSON object of C(zemta-sign read --json), as the tool printed it.
    - C(rows) lists rows 10 down to 1, each with C(first) and C(second), one panel
      each, with C(price) (three characters, null without a good reply), C(grade),
      C(snowflake), C(euro) and C(ok).
  returned: when the tool printed its JSON
  type: dict
  sample:
    port: COM1
    rows:
      - row: 3
        first: {price: "469", grade: "95", snowflake: false, euro: true, ok: true}
        second: {price: "469", grade: "95", snowflake: false, euro: true, ok: true}
rc:
  description: The exit status of zemta-sign (0 read, 1 a panel without a good reply,
    3 port unusable).
  returned: when the tool ran
  type: int
  sample: 0
msg:
  description: The tool's message, when the station failed.
  returned: failure
  type: str
'''
