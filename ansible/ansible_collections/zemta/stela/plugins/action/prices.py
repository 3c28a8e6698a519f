# zemta.stela.prices: sets prices on the station's sign with `zemta-sign write --json`
# (`--dry-run` in check mode) and judges the tool's JSON on the controller.

from __future__ import annotations

import re

from ansible.errors import AnsibleActionFail

from ansible_collections.zemta.stela.plugins.plugin_utils.zemta_sign import (
    ZemtaSignAction, row_number)

ARGUMENT_SPEC = {
    'rows': {'type': 'dict', 'default': {}},
    'unused': {'type': 'list', 'elements': 'int', 'default': []},
    'port': {'type': 'str'},
    'executable': {'type': 'str'},
}

PRICE = re.compile(r'[0-9]{3}')


def checked_rows(rows: dict) -> dict:
    """Row number -> price; refuses anything but a string of exactly three digits."""
    prices = {}
    for key, price in rows.items():
        row = row_number(key, 'rows')
        if row in prices:
            raise AnsibleActionFail(f'rows: row {row} is named twice')
        if not isinstance(price, str):
            raise AnsibleActionFail(
                f'rows: the price of row {row} is {price!r}, not a quoted string of three '
                f'digits; write it as "045" (YAML reads an unquoted 045 as the number 37)')
        if not PRICE.fullmatch(price):
            raise AnsibleActionFail(
                f'rows: the price of row {row} is "{price}", not three digits')
        prices[row] = price
    return prices


def checked_unused(unused: list, prices: dict) -> list:
    rows = sorted({row_number(value, 'unused') for value in unused})
    for row in rows:
        if row in prices:
            raise AnsibleActionFail(f'row {row} is both given a price and marked unused')
    return rows


def shown(half) -> str:
    """A panel as the diff shows it."""
    if not half or not half.get('ok') or half.get('price') is None:
        return 'no reply'
    return half['price']


def price_diff(data: dict) -> dict:
    """Before and after of the rows the write sends a frame to; after is the read-back,
    or in a dry run the plan."""
    dry_run = bool(data.get('dry_run'))
    before, after = [], []
    for row in data.get('rows', []):
        halves = (row.get('first') or {}, row.get('second') or {})
        if not any(h.get('planned') for h in halves):
            continue
        label = f"row {row['row']:>2}"
        before.append(f"{label}: {' / '.join(shown(h.get('before')) for h in halves)}\n")
        after.append(f"{label}: "
                     + ' / '.join(shown((h.get('planned') or h.get('before')) if dry_run
                                        else h.get('after')) for h in halves) + '\n')
    port = data.get('port') or 'the sign'
    return {
        'before_header': f'{port} (first / second half)',
        'after_header': f'{port}, ' + ('as the write would leave it' if dry_run
                                      else 'as read back'),
        'before': ''.join(before),
        'after': ''.join(after),
    }


class ActionModule(ZemtaSignAction):

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        del tmp
        _, args = self.validate_argument_spec(argument_spec=ARGUMENT_SPEC)

        prices = checked_rows(args['rows'])
        unused = checked_unused(args['unused'], prices)
        if not prices and not unused:
            raise AnsibleActionFail('neither rows nor unused names a row')

        command = ['write', '--json']
        if self._task.check_mode:
            command.append('--dry-run')
        if args['port']:
            command += ['--port', args['port']]
        else:
            result.setdefault('warnings', []).append(
                'no port given: zemta-sign searches every COM port of the station for the '
                'sign, a fiscal printer\'s included; pin the port in the inventory')
        command += [f'{row}={price}' for row, price in sorted(prices.items())]
        if unused:
            command += ['--unused'] + [str(row) for row in unused]

        run = self.run_zemta_sign(args['executable'], command, task_vars)
        result['rc'] = run.rc
        if run.data is None:
            result['failed'] = True
            result['msg'] = self.tool_failure(run, 'write')
            return result

        result['result'] = run.data
        result['changed'] = bool(run.data.get('changed'))
        if self._task.diff:
            result['diff'] = price_diff(run.data)
        if run.rc != 0:
            result['failed'] = True
            result['msg'] = self.tool_failure(run, 'write')
        return result
