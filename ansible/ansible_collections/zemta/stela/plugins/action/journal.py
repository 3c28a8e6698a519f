# zemta.stela.journal: a station's price journal records since a given time, from
# `zemta-sign journal --json --since`. Changes nothing on the station; with dest, the
# records after the last one that file holds are appended to it on the controller.

from __future__ import annotations

import hashlib
import json
import os
from datetime import datetime

from ansible.errors import AnsibleActionFail

from ansible_collections.zemta.stela.plugins.plugin_utils.zemta_sign import ZemtaSignAction

ARGUMENT_SPEC = {
    'since': {'type': 'str'},
    'dest': {'type': 'path'},
    'journal': {'type': 'str'},
    'executable': {'type': 'str'},
}
# Where the last line of a collected file is looked for: records are far shorter.
TAIL_BYTES = 256 * 1024


def since_option(moment: str) -> str:
    """zemta-sign's --since (the station's local time, to the second) for a date, a date
    and time, or a record's ISO 8601 time: a record states the station's own local time,
    so its wall-clock part is what the station means."""
    text = moment.strip().replace('T', ' ')
    return text[:19]


def record_time(line: str):
    """The aware time of a stored record, None when it has none."""
    try:
        return datetime.fromisoformat(json.loads(line)['time'])
    except (ValueError, KeyError, TypeError):
        return None


def last_line(path: str) -> str:
    """The last complete line of a file on the controller; '' when it has none."""
    try:
        with open(path, 'rb') as f:
            f.seek(0, os.SEEK_END)
            size = f.tell()
            f.seek(max(0, size - TAIL_BYTES))
            tail = f.read()
    except FileNotFoundError:
        return ''
    lines = [line for line in tail.split(b'\n')[:-1] if line.strip()]
    return lines[-1].decode('ascii', 'replace') if lines else ''


def append_lines(path: str, lines: list) -> None:
    """Appends the records to the file, each on a line of its own."""
    folder = os.path.dirname(path)
    if folder:
        os.makedirs(folder, exist_ok=True)
    with open(path, 'ab+') as f:
        f.seek(0, os.SEEK_END)
        head = b''
        if f.tell() > 0:
            f.seek(-1, os.SEEK_END)
            if f.read(1) != b'\n':
                head = b'\n'
        f.write(head + b''.join(line.encode('ascii', 'replace') + b'\n' for line in lines))


class ActionModule(ZemtaSignAction):

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        del tmp
        _, args = self.validate_argument_spec(argument_spec=ARGUMENT_SPEC)
        dest = args['dest']
        if args['since'] and dest:
            raise AnsibleActionFail('since and dest go one at a time')
        since = args['since']
        after = last_line(dest) if dest else ''
        after_hash = after_time = None
        if after:
            # The chain names each record by the SHA-256 of its line as stored, and
            # zemta-sign prints the lines as stored: the records after this one are the
            # lines after the line of that hash.
            after_time = record_time(after)
            if after_time is None:
                raise AnsibleActionFail(f'{dest}: its last line is not a journal record')
            after_hash = hashlib.sha256(after.encode('ascii', 'replace')).hexdigest()
            since = json.loads(after)['time']

        command = ['journal', '--json']
        if args['journal']:
            command = ['--journal', args['journal']] + command
        if since:
            command += ['--since', since_option(since)]
        run = self.run_zemta_sign(args['executable'], command, task_vars)
        result['changed'] = False
        result['rc'] = run.rc
        if run.rc != 0:
            result['failed'] = True
            result['msg'] = self.tool_failure(run, 'journal')
            return result

        lines = [line.strip() for line in run.stdout.splitlines() if line.strip()]
        if after_hash is not None:
            hashes = [hashlib.sha256(line.encode('ascii', 'replace')).hexdigest() for line in lines]
            if after_hash in hashes:
                lines = lines[hashes.index(after_hash) + 1:]
            else:
                # Not in the station's journal any more (replaced, or edited): the
                # records later than it, and a word that the chain does not join.
                lines = [line for line in lines if (record_time(line) or after_time) > after_time]
                result.setdefault('warnings', []).append(
                    'the last record fetched before is not in the station\'s journal; '
                    'returning the records later than its time')
        if run.message:
            # Torn lines skipped, counted on standard error.
            result.setdefault('warnings', []).append(run.message)
        result['lines'] = lines
        result['records'] = [json.loads(line) for line in lines]
        result['count'] = len(lines)
        if dest:
            result['dest'] = dest
            result['changed'] = bool(lines)
            if lines and not self._play_context.check_mode:
                append_lines(dest, lines)
        return result
