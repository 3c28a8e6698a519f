# Runs zemta-sign on the station a task is for and reads its JSON on the controller.
# Shared by the collection's action plugins (prices, sign_info).

from __future__ import annotations

import json
from dataclasses import dataclass
from typing import Any, Optional

from ansible.errors import AnsibleActionFail
from ansible.module_utils.common.text.converters import to_text
from ansible.plugins.action import ActionBase

# Where the Windows installer puts the command-line tool.
WINDOWS_EXECUTABLE = 'C:\\Program Files\\ZEMTA\\Stela\\zemta-sign.exe'
WINDOWS_COMMAND = 'ansible.windows.win_command'
POSIX_COMMAND = 'ansible.legacy.command'


@dataclass
class ToolRun:
    """One run of zemta-sign: its exit status, its JSON (None when it printed none),
    its message (standard error on one line, or the command module's own) and its
    standard output as printed."""
    rc: int
    data: Optional[dict]
    message: str
    stdout: str = ''


def one_line(text: str) -> str:
    """The tool's message on one line: a heading that ends in ':' followed by its
    lines, the lines separated by '; '."""
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    if len(lines) > 1 and lines[0].endswith(':'):
        return lines[0] + ' ' + '; '.join(lines[1:])
    return '; '.join(lines)


def row_number(value: Any, what: str) -> int:
    """A row 1..10 given as a number or as a string of digits (keys of a mapping that
    went through a template arrive as strings)."""
    if isinstance(value, bool):
        raise AnsibleActionFail(f'{what}: {value!r} is not a row 1..10')
    if isinstance(value, str) and value.strip().isdigit():
        value = int(value)
    if not isinstance(value, int) or not 1 <= value <= 10:
        raise AnsibleActionFail(f'{what}: {value!r} is not a row 1..10')
    return value


class ZemtaSignAction(ActionBase):
    """Base of the collection's actions: runs one zemta-sign command on the station,
    through ansible.builtin.command, or ansible.windows.win_command on a PowerShell
    host. zemta-sign's own --dry-run stands for check mode, so the command itself
    always runs."""

    def _update_module_args(self, module_name, module_args, task_vars):
        super()._update_module_args(module_name, module_args, task_vars)
        module_args['_ansible_check_mode'] = False
        module_args['_ansible_diff'] = False

    def _windows_station(self) -> bool:
        return getattr(self._connection._shell, 'SHELL_FAMILY', '') == 'powershell'

    def run_zemta_sign(self, executable: Optional[str], args: list, task_vars) -> ToolRun:
        if self._windows_station():
            module = WINDOWS_COMMAND
            found = self._shared_loader_obj.module_loader.find_plugin_with_context(module)
            if not found.resolved:
                raise AnsibleActionFail(
                    'a Windows station needs the collection ansible.windows on the controller '
                    '(Debian: the package ansible)')
            executable = executable or WINDOWS_EXECUTABLE
        else:
            module = POSIX_COMMAND
            executable = executable or 'zemta-sign'

        res = self._execute_module(module_name=module,
                                   module_args={'argv': [executable] + args},
                                   task_vars=task_vars)
        stdout = to_text(res.get('stdout', ''))
        stderr = to_text(res.get('stderr', ''))
        rc = res.get('rc')
        if rc is None:  # the command module could not run at all
            rc = -1
        try:
            data = json.loads(stdout) if stdout.strip() else None
        except ValueError:
            data = None
        if not isinstance(data, dict):
            data = None
        message = one_line(stderr) or to_text(res.get('msg', ''))
        return ToolRun(rc=rc, data=data, message=message, stdout=stdout)

    def tool_failure(self, run: ToolRun, what: str) -> str:
        """The message a failed host gets: the tool's own, or what went wrong instead."""
        if run.message:
            return run.message
        if run.rc == 0:
            return f'zemta-sign {what} printed no JSON result'
        return f'zemta-sign {what} exited with {run.rc}'
