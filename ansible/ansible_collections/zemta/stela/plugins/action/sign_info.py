# zemta.stela.sign_info: what the station's sign shows now, from `zemta-sign read --json`.
# Reads only; never changes anything, in check mode or not.

from __future__ import annotations

from ansible_collections.zemta.stela.plugins.plugin_utils.zemta_sign import ZemtaSignAction

ARGUMENT_SPEC = {
    'port': {'type': 'str'},
    'executable': {'type': 'str'},
}


class ActionModule(ZemtaSignAction):

    def run(self, tmp=None, task_vars=None):
        result = super().run(tmp, task_vars)
        del tmp
        _, args = self.validate_argument_spec(argument_spec=ARGUMENT_SPEC)

        command = ['read', '--json']
        if args['port']:
            command += ['--port', args['port']]
        run = self.run_zemta_sign(args['executable'], command, task_vars)
        result['changed'] = False
        result['rc'] = run.rc
        if run.data is not None:
            result['result'] = run.data
        if run.rc != 0 or run.data is None:
            result['failed'] = True
            result['msg'] = self.tool_failure(run, 'read')
        return result
