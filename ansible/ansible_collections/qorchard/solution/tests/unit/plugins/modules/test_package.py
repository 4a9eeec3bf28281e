# -*- coding: utf-8 -*-
# The module against canned answers of the program: a stand-in program that
# writes the result a case gives and records how it was called. The module
# runs as Ansible runs it, in a process of its own, so that a traceback or a
# non-JSON answer shows.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import subprocess
import sys
import tarfile

import jsonschema
import pytest

COLLECTIONS = os.path.abspath(os.path.join(os.path.dirname(__file__), *(['..'] * 7)))
MODULES = os.path.join(COLLECTIONS, 'ansible_collections', 'qorchard', 'solution', 'plugins', 'modules')
SCHEMA = os.path.join(COLLECTIONS, '..', 'docs', 'result.schema.json')
PASSWORD = 'pw-7c41e9 with blanks'

PROGRAM = r'''#!/usr/bin/python3
import json, os, sys
here = os.path.dirname(os.path.abspath(__file__))
argv = sys.argv[1:]
mode = 'undo' if '--undo' in argv else 'plan' if '--plan-only' in argv else 'install'
stdin = sys.stdin.read() if '--password-stdin' in argv else None
answers = json.load(open(argv[argv.index('--answers') + 1])) if '--answers' in argv else None
with open(os.path.join(here, 'calls.jsonl'), 'a') as f:
    f.write(json.dumps(dict(mode=mode, argv=argv, stdin=stdin, answers=answers, registry=os.environ.get('QSI_REGISTRY'),
                            environ=dict(os.environ))) + '\n')
status, result, stderr = json.load(open(os.path.join(here, 'canned.json')))[mode]
if result is not None:
    with open(argv[argv.index('--result') + 1], 'w') as f:
        f.write(result if isinstance(result, str) else json.dumps(result))
sys.stderr.write(stderr)
sys.exit(status)
'''


def doc(mode, outcome, **fields):
    """A result as the program writes it (tests below check it against the schema)."""
    status = {'failed': 1, 'refused': 2, 'completed_with_failures': 3}.get(outcome, 0)
    changed = outcome in ('completed', 'completed_with_failures', 'planned', 'undone')
    counts = dict.fromkeys(['files_installed', 'files_failed', 'files_not_installed', 'components_registered',
                            'components_failed', 'scripts_ran', 'scripts_failed', 'scripts_not_run'], 0)
    counts.update(fields.pop('counts', {}))
    plan = dict(product='Q-Alder 2.1.1.0 (ServicePack)', text_file=None, summary=dict.fromkeys(
        ['modules_to_install', 'modules_skipped', 'files_new', 'files_replaced', 'files_saved_then_replaced',
         'files_not_installed', 'components', 'java_classes', 'scripts_to_run', 'scripts_skipped',
         'registry_values', 'metabase_rows'], 1),
        modules=[dict(name='Q-Alder', installed_version='2.1.0.0', package_version='2.1.1.0', action='install')],
        files=[dict(path='QO11\\Q-Alder\\default.asp', module='Q-Alder', package_path='Web\\Q-Alder\\default.asp',
                    action='replace', reason=None, again=False)],
        components=[], stops_services=True, java_classes=[], scripts=[], metabase_rows=[],
        registry_values=[dict(where='Modules\\Q-Alder AppVersion', before='2.1.0.0', after='2.1.1.0')])
    result = dict(
        schema=1, installer=dict(version='0.1', program='/usr/bin/qsolutioninstaller'), run='r1', mode=mode,
        part='web', site=dict(inst_main_dir='/srv/qo', machine='WEB01', registry='/etc/r.reg'),
        package=dict(folder='/p/Solution', product='Q-Alder', version='2.1.1.0', type='ServicePack',
                     file_version_checksum='81FC'),
        times=dict(started='2026-12-06T10:31:43+01:00', finished='2026-12-06T10:31:45+01:00', duration_seconds=2.5),
        exit_status=status, outcome=outcome, changed=changed, stop_reason=None,
        plan=plan if outcome != 'refused' else None, files=[], components=[], scripts=[], counts=counts,
        logs=None, undo=None, lock_holder=None, question=None, errors=[])
    if outcome in ('failed', 'refused'):
        result.update(stop_reason='failure', errors=[dict(number=210, source='installFiles', step='Install Files',
                                                          description='default.asp could not be replaced',
                                                          cause=None, log_file=None)])
    result.update(fields)
    if mode == 'install' and result['changed']:
        fields.setdefault('undo', dict(handle='r1', command=['qsolutioninstaller', '--undo', 'r1', '--unattended'],
                                       undone=False))
        fields.setdefault('logs', dict(folder='/srv/qo/QOLog/r1', files=[]))
        result.update(fields)
    return result


HOLDER = dict(stop_reason='lock_held', lock_holder=dict(pid=4242, description='qsolutioninstaller (pid 4242) of root'))
PLANNED = [0, doc('plan', 'planned'), '']
DONE = {'changed': True, 'failed': False, 'rc': 0}


def run_module(tmp_path, canned, check_mode=False, **args):
    program = tmp_path / 'qsolutioninstaller'
    program.write_text(PROGRAM)
    program.chmod(0o755)
    (tmp_path / 'canned.json').write_text(json.dumps(canned))
    (tmp_path / 'Solution').mkdir(exist_ok=True)
    module_args = dict(program=str(program), package=str(tmp_path / 'Solution'), password=PASSWORD,
                       site='/etc/r.reg', archive_dir=str(tmp_path / 'kept'), part='web',
                       _ansible_check_mode=check_mode, _ansible_diff=check_mode,
                       _ansible_remote_tmp=str(tmp_path / 'tmp'), _ansible_keep_remote_files=False)
    module_args.update(args)
    (tmp_path / 'args.json').write_text(json.dumps({'ANSIBLE_MODULE_ARGS': module_args}))
    process = subprocess.run([sys.executable, os.path.join(MODULES, 'package.py'), str(tmp_path / 'args.json')],
                             capture_output=True, text=True, env=dict(os.environ, PYTHONPATH=COLLECTIONS), check=False)
    assert 'Traceback' not in process.stdout + process.stderr
    calls = [json.loads(line) for line in (tmp_path / 'calls.jsonl').read_text().splitlines()] \
        if (tmp_path / 'calls.jsonl').exists() else []
    return json.loads(process.stdout), calls


@pytest.mark.parametrize('canned, expected, message', [
    ({'plan': [0, doc('plan', 'nothing_to_do'), '']}, {'changed': False, 'failed': False, 'rc': 0}, 'nothing to do'),
    ({'plan': PLANNED, 'install': [0, doc('install', 'completed', counts={'files_installed': 4}), '']},
     DONE, 'completed; 4 files installed'),
    ({'plan': PLANNED, 'install': [1, doc('install', 'failed', changed=True), '']},
     {'changed': True, 'failed': True, 'rc': 1}, 'default.asp could not be replaced (210, Install Files)'),
    ({'plan': [2, doc('plan', 'refused', errors=[dict(number=2, source='lock', step=None, description='held',
                                                      cause=None, log_file=None)], **HOLDER), '']},
     {'changed': False, 'failed': True, 'rc': 2}, 'another installer holds the site: qsolutioninstaller (pid 4242)'),
    ({'plan': PLANNED, 'install': [3, doc('install', 'completed_with_failures', counts={'files_failed': 2}), '']},
     {'changed': True, 'failed': True, 'rc': 3}, '2 files and 0 component registrations failed'),
    ({'plan': PLANNED, 'install': [1, None, 'starting\nODBC driver missing\n']},
     {'failed': True, 'rc': 1}, 'last lines of its error output: starting | ODBC driver missing'),
    ({'plan': PLANNED, 'install': [0, '{"schema": 1, "outc', '']}, {'failed': True, 'rc': 0}, 'no JSON document'),
    ({'plan': PLANNED, 'install': [0, doc('install', 'completed', exit_status=3), '']},
     {'failed': True, 'rc': 0}, 'cannot be trusted: it says outcome completed with exit status 3'),
    ({'plan': [0, doc('plan', 'planned', schema=2), '']}, {'failed': True}, 'its schema is 2'),
    ({'plan': [0, doc('install', 'completed'), '']}, {'failed': True}, 'none that a run of mode plan ends with'),
    ({'plan': [0, doc('plan', 'nothing_to_do', changed=True), '']}, {'failed': True}, 'with changed True'),
    ({'plan': PLANNED, 'install': [0, doc('install', 'completed_with_failures', exit_status=0), '']},
     {'failed': True}, 'outcome completed_with_failures with exit status 0'),
    ({'plan': [0, doc('install', 'nothing_to_do'), '']}, {'failed': True}, "result of mode 'install', not plan"),
], ids=['nothing to do', 'completed', 'failed', 'refused by the lock', 'completed with failures', 'missing result',
        'broken result', 'exit status contradicts the program', 'unknown schema', 'outcome of another mode',
        'changed contradicts the outcome', 'exit status contradicts the outcome', 'result of another mode'])
def test_install_maps_the_result(tmp_path, canned, expected, message):
    answer, calls = run_module(tmp_path, canned)
    assert dict((k, answer.get(k, False)) for k in expected) == expected
    assert message in answer['msg']
    assert [c['mode'] for c in calls] == [m for m in ('plan', 'install') if m in canned]
    for call in calls:
        assert call['argv'][:4] == ['--package', str(tmp_path / 'Solution'), '--part', 'web']
        assert '--unattended' in call['argv'] and call['stdin'] == PASSWORD + '\n'
        assert call['registry'] == '/etc/r.reg'
        assert PASSWORD not in json.dumps(call['argv']) + json.dumps(call['environ'])


def test_password_from_a_vault_line_is_trimmed_and_masked(tmp_path):
    answer, calls = run_module(tmp_path, {'plan': [1, None, 'echo: %s\n' % PASSWORD]}, password=PASSWORD + '\n')
    assert calls[0]['stdin'] == PASSWORD + '\n' and 'echo: ********' in answer['msg']
    assert PASSWORD not in json.dumps(answer)


def test_completed_run_keeps_result_and_logs(tmp_path):
    logs = tmp_path / 'QOLog' / 'r1'
    logs.mkdir(parents=True)
    (logs / 'Install Files.txt').write_text('log')
    done = doc('install', 'completed', logs=dict(folder=str(logs), files=[]))
    answer, calls = run_module(tmp_path, {'plan': PLANNED, 'install': [0, done, '']}, answers={'customizations': 'continue'})
    assert [c['answers'] for c in calls] == [{'customizations': 'continue'}] * 2
    assert json.load(open(answer['result_file'])) == done == answer['result']
    assert answer['plan']['files'][0]['path'] == 'QO11\\Q-Alder\\default.asp'
    with tarfile.open(answer['archive']) as tar:
        assert sorted(tar.getnames()) == ['logs/r1', 'logs/r1/Install Files.txt', 'plan-result.json', 'result.json']
    assert oct(os.stat(answer['archive']).st_mode & 0o777) == '0o600'
    assert answer['summary']['log_folder'] == str(logs) and answer['summary']['duration_seconds'] == 2.5


def test_check_mode_returns_the_plan_and_installs_nothing(tmp_path):
    answer, calls = run_module(tmp_path, {'plan': PLANNED}, check_mode=True)
    assert answer['changed'] is True and 'failed' not in answer
    assert 'file replace QO11\\Q-Alder\\default.asp' in answer['diff']['prepared']
    assert 'Modules\\Q-Alder AppVersion: 2.1.0.0 -> 2.1.1.0' in answer['diff']['prepared']
    assert [c['mode'] for c in calls] == ['plan'] and '--plan-only' in calls[0]['argv']


@pytest.mark.parametrize('outcome, status, expected', [
    ('undone', 0, {'changed': True, 'failed': False}),
    ('nothing_to_do', 0, {'changed': False, 'failed': False}),
    ('failed', 1, {'changed': False, 'failed': True}),
])
def test_undo(tmp_path, outcome, status, expected):
    answer, calls = run_module(tmp_path, {'undo': [status, doc('undo', outcome), '']}, state='undone', run='r1')
    assert dict((k, answer.get(k, False)) for k in expected) == expected
    assert calls[0]['argv'][:2] == ['--undo', 'r1'] and calls[0]['stdin'] is None


def test_canned_results_follow_the_schema():
    validator = jsonschema.Draft202012Validator(json.load(open(SCHEMA)))
    valid = [doc('plan', 'planned'), doc('plan', 'nothing_to_do'), doc('install', 'completed'),
             doc('install', 'failed', changed=True), doc('plan', 'refused', **HOLDER), doc('undo', 'undone'),
             doc('install', 'completed_with_failures', counts={'files_failed': 1})]
    for result in valid:
        assert list(validator.iter_errors(result)) == []
    invalid = [doc('plan', 'refused', stop_reason='lock_held'), doc('install', 'completed_with_failures'),
               doc('install', 'completed', exit_status=3), doc('plan', 'planned', changed=False),
               doc('install', 'planned'), doc('plan', 'planned', extra=1), doc('install', 'completed', undo=None),
               doc('plan', 'nothing_to_do', stop_reason='failure')]
    for result in invalid:
        assert not validator.is_valid(result), result
