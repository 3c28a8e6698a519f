#!/usr/bin/env python3
# The collection zemta.stela end to end: the example playbooks against three stations on
# this machine (connection local), each with its own port directory (ZEMTA_COM_DIR) and
# simulated sign; one sign is silent. Judged from the play recaps and the simulators'
# traffic. Each run's output is kept in build/ansible-test/.
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
COLLECTIONS = ROOT / 'ansible'
COLLECTION = COLLECTIONS / 'ansible_collections/zemta/stela'
EXAMPLE = COLLECTION / 'examples/chain'
BIN = ROOT / 'build/bin'
OUT = ROOT / 'build/ansible-test'

# name: (region, port, simulator options)
STATIONS = {
    'north-1': ('north', 'COM3', []),
    'north-2': ('north', 'COM5', ['--silent']),
    'south-1': ('south', 'COM4', ['--panel', '2=459:3:2', '--panel', 'B=459:3:2']),
}
GOOD = 'north-1,south-1'
NEW_PRICES = {1: '461', 2: '491', 3: '514', 4: '569'}

passed, failures = [], []


def check(ok, what):
    print(('ok     ' if ok else 'FAILED ') + what)
    (passed if ok else failures).append(what)


class Sign:
    """One station's simulator; its traffic log is read by offset."""

    def __init__(self, work, name, port, options):
        self.com_dir = work / name
        self.com_dir.mkdir()
        self.journal = work / f'{name}-journal.jsonl'
        self.log = work / f'{name}-sim.log'
        link = self.com_dir / port
        with open(self.log, 'wb') as log:
            self.process = subprocess.Popen(
                [BIN / 'zemta-sign-sim', '--link', link] + options,
                stdout=log, stderr=subprocess.STDOUT)
        for _ in range(50):
            if link.exists() or self.process.poll() is not None:
                break
            time.sleep(0.1)
        if not link.exists():
            raise RuntimeError(f'the simulator of {name} did not start; see {self.log}')
        self.mark()

    def mark(self):
        self.offset = self.log.stat().st_size

    def received(self):
        """The commands received since the last mark, as the log shows them (|R0E|...)."""
        text = self.log.read_bytes()[self.offset:].decode('utf-8', 'replace')
        return re.findall(r' RX .*\|(.*)\|$', text, re.M)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def recap(output):
    """PLAY RECAP: station -> {'ok': n, 'changed': n, 'failed': n, ...}."""
    tail = output.split('PLAY RECAP', 1)[-1]
    return {m.group(1): {k: int(v) for k, v in re.findall(r'(\w+)=(\d+)', m.group(2))}
            for m in re.finditer(r'^(\S+)\s+:\s+(.*)$', tail, re.M)}


def ansible(*args, env=None, name):
    started = time.monotonic()
    run = subprocess.run(args, capture_output=True, text=True, timeout=300,
                         env=dict(os.environ, **(env or {})))
    output = run.stdout + run.stderr
    (OUT / f'{name}.log').write_text(output)
    print(f'-- {name}: {" ".join(map(str, args[1:]))}: exit {run.returncode}, '
          f'{time.monotonic() - started:.0f} s')
    return run.returncode, output


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    os.environ.update(ANSIBLE_COLLECTIONS_PATH=str(COLLECTIONS), ANSIBLE_NOCOLOR='1',
                      ANSIBLE_RETRY_FILES_ENABLED='0', ANSIBLE_HOST_KEY_CHECKING='0')
    with tempfile.TemporaryDirectory(prefix='zemta-ansible.') as tmp:
        work = Path(tmp)
        signs = {}
        try:
            for name, (_, port, options) in STATIONS.items():
                signs[name] = Sign(work, name, port, options)
            run_cases(work, signs)
        finally:
            for sign in signs.values():
                sign.stop()
    print(f'{len(passed)} passed, {len(failures)} failed')
    return 1 if failures else 0


def run_cases(work, signs):
    inventory = work / 'inventory.yml'
    regions = {}
    for name, (region, port, _) in STATIONS.items():
        regions.setdefault(region, {'hosts': {}})['hosts'][name] = {
            'zemta_port': port,
            'zemta_environment': {'ZEMTA_COM_DIR': str(signs[name].com_dir),
                                  'ZEMTA_JOURNAL': str(signs[name].journal)}}
    inventory.write_text(json.dumps({'all': {
        'children': regions,
        'vars': {'ansible_connection': 'local',
                 'ansible_python_interpreter': sys.executable,
                 'zemta_sign_executable': str(BIN / 'zemta-sign')}}}))
    new_prices = work / 'new-prices.yml'
    new_prices.write_text(json.dumps({'zemta_prices': NEW_PRICES}))
    octal_price = work / 'octal-price.yml'
    octal_price.write_text('zemta_prices:\n  1: 045\n')

    def expect(result, station, **counts):
        got = {k: result.get(station, {}).get(k) for k in counts}
        check(got == counts, f'{station}: recap {got}, expected {counts}')

    def written(station):
        """The panels sent a write frame since the mark (a frame sent again counts once)."""
        return {c[1] for c in signs[station].received() if c.startswith('W')}

    def playbook(name, *args, book='prices.yml', env=None):
        for sign in signs.values():
            sign.mark()
        return ansible('ansible-playbook', '-i', inventory, EXAMPLE / book, *args,
                       env=env, name=name)

    # The region's prices: the two good signs take them, the silent one fails and is named.
    _, out = playbook('01-first-run')
    result = recap(out)
    expect(result, 'north-1', changed=1, failed=0)
    expect(result, 'south-1', changed=1, failed=0)
    expect(result, 'north-2', changed=0, failed=1)
    for station in ('north-1', 'south-1'):
        check(len(written(station)) == 12, f'{station}: write frames to the 12 panels of rows 1-4, 9, 10')
    check(not written('north-2'), 'north-2: no write frame')
    check(re.search(r'"north-2: Стела прочитана не полностью, цены не записаны: ряд 10',
                    out) is not None, 'the report names north-2 with the tool\'s message')

    # Again: nothing to change, no write frame anywhere.
    _, out = playbook('02-second-run')
    result = recap(out)
    for station in ('north-1', 'south-1'):
        expect(result, station, changed=0, failed=0)
        check(not written(station) and signs[station].received(),
              f'{station}: read, and no write frame')
    expect(result, 'north-2', failed=1)

    # Check mode with new prices: reported as a change, nothing sent.
    _, out = playbook('03-check', '--check', '-e', f'@{new_prices}', '--limit', GOOD)
    result = recap(out)
    for station in ('north-1', 'south-1'):
        expect(result, station, changed=1, failed=0)
        check(not written(station), f'{station}: check mode sends no write frame')

    # Diff mode: before and after of the changed rows, as read back.
    _, out = playbook('04-diff', '--diff', '-e', f'@{new_prices}', '--limit', GOOD)
    result = recap(out)
    for station in ('north-1', 'south-1'):
        expect(result, station, changed=1, failed=0)
        check(len(written(station)) == 8, f'{station}: write frames to the 8 panels of rows 1-4')
    for line in ('--- before: COM3 (first / second half)',
                 '+++ after: COM3, as read back',
                 '-row  1: 459 / 459', '+row  1: 461 / 461',  # north-1
                 '-row  4: 571 / 571', '+row  4: 569 / 569'):  # south-1
        check(line in out, f'diff shows {line!r}')
    check('row  9' not in out, 'diff leaves out the rows that do not change')

    # A price YAML reads as a number (045 is 37) is refused before anything is sent.
    _, out = playbook('05-integer', '-e', f'@{octal_price}', '--limit', GOOD)
    result = recap(out)
    for station in ('north-1', 'south-1'):
        expect(result, station, changed=0, failed=1)
        check(not signs[station].received(), f'{station}: nothing sent for a number')
    check('the price of row 1 is 37, not a quoted string' in out,
          'the refusal says why')

    # A port held by the window: the station fails with the tool's message naming it.
    window_program = work / 'zemta-stela'
    shutil.copy('/bin/sleep', window_program)
    window = subprocess.Popen([window_program, '60'])
    device = os.path.realpath(signs['north-1'].com_dir / 'COM3')
    lock = Path('/run/lock') / ('LCK..' + device.removeprefix('/dev/').replace('/', '_'))
    try:
        lock.write_text(f'{window.pid:10d}\n')
        _, out = playbook('06-held-port', '--limit', 'north-1')
    finally:
        lock.unlink(missing_ok=True)
        window.kill()
        window.wait()
    expect(recap(out), 'north-1', changed=0, failed=1)
    check(f'порт занят окном zemta-stela (pid {window.pid})' in out,
          'the message names the window that holds the port')
    check(not signs['north-1'].received(), 'north-1: nothing sent while the port is held')

    # sign_info returns what the diff run set (the minimal callback prints each result).
    _, out = playbook('07-sign-info', '--limit', GOOD, book='signs.yml',
                      env={'ANSIBLE_STDOUT_CALLBACK': 'minimal'})
    for station in ('north-1', 'south-1'):
        start = out.find(f'{station} | SUCCESS => ')
        info = {} if start < 0 else json.JSONDecoder().raw_decode(
            out, out.index('{', start))[0]
        shown = {r['row']: (r['first']['price'], r['second']['price'])
                 for r in info.get('result', {}).get('rows', [])}
        wanted = {**{row: (p, p) for row, p in NEW_PRICES.items()},
                  5: ('000', '000'), 9: ('---', '---'), 10: ('---', '---')}
        check(shown and all(shown[row] == both for row, both in wanted.items())
              and info['changed'] is False,
              f'{station}: sign_info shows the prices set, unchanged')
    check(not any(written(s) for s in ('north-1', 'south-1')), 'sign_info sends no write')

    # The journals: every station's records collected on the controller, then only the
    # records added since.
    journals = work / 'journals'
    collect = ('-e', f'zemta_journal_dir={journals}')
    _, out = playbook('11-journal-first', *collect, book='journal.yml')
    result = recap(out)
    for station in STATIONS:
        expect(result, station, failed=0)
        kept = journals / f'{station}.jsonl'
        check(kept.exists() and kept.read_bytes() == signs[station].journal.read_bytes(),
              f'{station}: the collected journal is the station\'s, byte for byte')
        check(not signs[station].received(), f'{station}: the journal is read without the sign')
    check(all(signs[s].journal.read_bytes().count(b'\n') >= 2 for s in STATIONS),
          'every station has records (writes, or attempts that found no sign)')

    env = dict(os.environ, ZEMTA_COM_DIR=str(signs['north-1'].com_dir),
               ZEMTA_JOURNAL=str(signs['north-1'].journal))
    for level in ('auto', '5'):
        subprocess.run([BIN / 'zemta-sign', 'brightness', '--port', 'COM3', level], env=env,
                       check=True, capture_output=True, timeout=60)
    _, out = playbook('12-journal-again', *collect, book='journal.yml')
    result = recap(out)
    for station in STATIONS:
        expect(result, station, failed=0, changed=1 if station == 'north-1' else 0)
        kept = journals / f'{station}.jsonl'
        check(kept.read_bytes() == signs[station].journal.read_bytes(),
              f'{station}: the collected journal again equals the station\'s')
    counts = re.findall(r'"msg": "(\d+) new records"', out)
    check(sorted(counts) == ['0', '0', '2'],
          f'the second run fetched only the two new records of north-1 ({counts})')
    check_run = subprocess.run([BIN / 'zemta-sign', '--journal', journals / 'north-1.jsonl',
                                'journal', '--check'], capture_output=True, text=True, timeout=60)
    check(check_run.returncode == 0, 'the collected journal\'s chain holds: '
          + (check_run.stdout + check_run.stderr).strip())

    # The documentation renders, and the example's Windows stations pass the syntax check.
    for module in ('zemta.stela.prices', 'zemta.stela.sign_info', 'zemta.stela.journal'):
        code, out = ansible('ansible-doc', module, name=f'08-doc-{module}')
        check(code == 0 and module.upper() in out and 'RETURN VALUES' in out,
              f'ansible-doc {module}')
    code, out = ansible('ansible-playbook', '--syntax-check', '--limit', 'windows',
                        '-i', EXAMPLE / 'inventory.yml', EXAMPLE / 'prices.yml',
                        EXAMPLE / 'signs.yml', EXAMPLE / 'journal.yml', name='09-syntax-windows')
    check(code == 0, 'syntax check of the example for the Windows stations')
    code, out = ansible('ansible-galaxy', 'collection', 'build', COLLECTION,
                        '--output-path', work, name='10-build')
    check(code == 0 and (work / 'zemta-stela-1.0.0.tar.gz').exists(),
          'ansible-galaxy collection build')


if __name__ == '__main__':
    sys.exit(main())
