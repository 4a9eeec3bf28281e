#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: package
short_description: Install a solution package on a Q-Orchard site, or undo a run
description:
  - Runs C(qsolutioninstaller --unattended) on the host, on the site its registry names.
  - It always plans first with C(--plan-only); a plan that changes nothing gives C(changed=false) and installs nothing.
  - In check mode it stops after the plan, and returns the plan as its diff.
  - It reads only the program's result file (JSON), never its console text, and maps its outcome to C(changed),
    C(failed), C(msg) and C(rc).
  - The password goes to the program on its standard input, never on its command line or in its environment.
  - It leaves the result and an archive of the run's logs in C(archive_dir) for M(ansible.builtin.fetch).
author: QSolutionInstaller developers (!UNKNOWN)
options:
  state:
    description:
      - C(installed) plans, then installs the package when the plan changes something.
      - C(undone) undoes the run named by C(run), as the result's C(undo.handle) names it.
    type: str
    choices: [installed, undone]
    default: installed
  site:
    description:
      - The registry file that names the site (C(QSI_REGISTRY)); the program's default when not given.
    type: path
  package:
    description:
      - The package folder on the host (the folder named C(Solution)). Required with C(state=installed).
    type: path
  password:
    description:
      - The database administrator's password, proved against the Metabase. Handed over on standard input.
    type: str
  answers:
    description:
      - Answers to the questions of the interactive flow, as the program's answers file takes them.
      - An unknown key makes the program refuse the run.
    type: dict
  part:
    description:
      - C(web) runs the web server part only, C(db) the database part (the scripts) only.
    type: str
    choices: [web, db, all]
    default: all
  on_failure:
    description:
      - What the program does when the installation fails after it changed the site. C(keep) leaves the
        changes for an undo with C(state=undone).
    type: str
    choices: [undo, keep]
    default: undo
  lock_wait:
    description:
      - Seconds to wait for another installer that holds the site before giving up.
    type: int
  run:
    description:
      - The run to undo with C(state=undone).
    type: str
  program:
    description:
      - The installer program, a path or a name sought on C(PATH).
    type: path
    default: qsolutioninstaller
  archive_dir:
    description:
      - Folder on the host for the result and the archive of the run's logs; made with mode 0700.
      - It lies outside the site, so check mode writes there too.
    type: path
    default: /var/tmp/qsolutioninstaller/results
notes:
  - Check mode is supported for C(state=installed). With C(state=undone) check mode does not run the program.
  - Use pipelining, so that the module's arguments, the password among them, are never written to the host's disk.
'''

EXAMPLES = r'''
- name: Install the package on the web server part of the site
  qorchard.solution.package:
    site: /etc/qsolutioninstaller/registry.reg
    package: /var/tmp/qsolutioninstaller/package/Solution
    password: "{{ qsi_sa_password }}"
    part: web
    on_failure: keep
  register: installed

- name: Undo that run
  qorchard.solution.package:
    state: undone
    run: "{{ installed.result.undo.handle }}"
  when: installed is failed and installed.result.undo.handle is defined
'''

RETURN = r'''
outcome:
  description: The outcome of the last run (see docs/result.md).
  returned: when the program wrote a result
  type: str
  sample: completed
rc:
  description: The exit status of the last run.
  returned: when the program ran
  type: int
  sample: 0
result:
  description: The result document of the last run, as docs/result.schema.json describes it.
  returned: when the program wrote a result
  type: dict
plan:
  description: The plan of the C(--plan-only) run (the result's C(plan) field).
  returned: with C(state=installed), when the plan run wrote a result
  type: dict
summary:
  description: The farm summary's row for this host.
  returned: when the program wrote a result
  type: dict
  sample: {outcome: completed, files_installed: 4, files_failed: 0, scripts_ran: 0, scripts_failed: 0,
           duration_seconds: 2.5, log_folder: /srv/qo/QOLog/12-06-2026 -- 10.31.43 AM, run: 12-06-2026 -- 10.31.43 AM,
           machine: WEB01, undo_handle: 12-06-2026 -- 10.31.43 AM}
result_file:
  description: The result document, copied into C(archive_dir).
  returned: when the program wrote a result
  type: str
archive:
  description: A gzipped tar of the results and the log folders of the runs, in C(archive_dir).
  returned: when the program wrote a result and its logs could be packed
  type: str
'''

import io
import json
import os
import re
import tarfile
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qorchard.solution.plugins.module_utils.installer_result import (
    ResultError, load, plan_text, status, summary)


def program_path(module):
    program = module.params['program']
    if os.sep not in program:
        return module.get_bin_path(program, required=True)
    if not (os.path.isfile(program) and os.access(program, os.X_OK)):
        module.fail_json(msg='the installer program %s is not there or cannot be run' % program)
    return program


def run(module, program, mode, options):
    """Runs the program in `mode`; returns (its result, its exit status), or fails the task cleanly."""
    result_file = os.path.join(module.tmpdir, '%s-result.json' % mode)
    argv = [program] + options + ['--unattended', '--result', result_file]
    password = module.params['password'] if mode != 'undo' else None
    if password is not None:
        argv.append('--password-stdin')
    environment = {'QSI_REGISTRY': module.params['site']} if module.params['site'] else None
    rc, dummy, stderr = module.run_command(argv, data=password, environ_update=environment)
    try:
        return load(result_file, mode, rc, stderr), rc
    except ResultError as e:
        module.fail_json(msg=str(e), rc=rc)


def pack(module, results):
    """Copies the last result into archive_dir, and packs every result and log folder beside it."""
    folder = module.params['archive_dir']
    last = results[-1][1]
    stem = re.sub(r'[^A-Za-z0-9.-]+', '_', last.get('run') or last['mode']) + '-'
    try:
        if not os.path.isdir(folder):
            os.makedirs(folder, 0o700)
        fd, result_file = tempfile.mkstemp(prefix=stem, suffix='.json', dir=folder)
        with os.fdopen(fd, 'w') as f:
            json.dump(last, f, indent=1)
    except (IOError, OSError) as e:
        module.warn('could not keep the result in %s: %s' % (folder, e))
        return {}
    kept = dict(result_file=result_file)
    try:
        fd, archive = tempfile.mkstemp(prefix=stem, suffix='.tar.gz', dir=folder)
        with os.fdopen(fd, 'wb') as f, tarfile.open(fileobj=f, mode='w:gz') as tar:
            logs = []
            for name, result in results:
                data = json.dumps(result, indent=1).encode('utf-8')
                info = tarfile.TarInfo(name)
                info.size, info.mode = len(data), 0o600
                tar.addfile(info, io.BytesIO(data))
                log_folder = (result.get('logs') or {}).get('folder')
                if isinstance(log_folder, str) and log_folder not in logs and os.path.isdir(log_folder):
                    logs.append(log_folder)
                    tar.add(log_folder, arcname='logs/' + os.path.basename(log_folder.rstrip(os.sep)))
        kept['archive'] = archive
    except (IOError, OSError, tarfile.TarError) as e:
        module.warn('could not pack the logs into %s: %s' % (folder, e))
    return kept


def finish(module, results, rc, diff=None):
    """Ends the task with what the last result says."""
    last = results[-1][1]
    answer = status(last)
    answer.update(rc=rc, outcome=last['outcome'], result=last, summary=summary(last))
    if results[0][0] == 'plan-result.json':
        answer['plan'] = results[0][1].get('plan')
    answer.update(pack(module, results))
    if diff is not None:
        answer['diff'] = dict(prepared=diff)
    if answer.pop('failed'):
        module.fail_json(**answer)
    module.exit_json(**answer)


def install(module, program):
    p = module.params
    if not os.path.isdir(p['package']):
        module.fail_json(msg='the package folder %s is not there' % p['package'])
    options = ['--package', p['package'], '--part', p['part']]
    if p['answers'] is not None:
        answers = os.path.join(module.tmpdir, 'answers.json')
        with os.fdopen(os.open(answers, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), 'w') as f:
            json.dump(p['answers'], f)
        options += ['--answers', answers]
    if p['lock_wait'] is not None:
        options += ['--lock-wait', str(p['lock_wait'])]

    planned, rc = run(module, program, 'plan', options + ['--plan-only'])
    results = [('plan-result.json', planned)]
    diff = plan_text(planned) if module._diff or module.check_mode else None
    if planned['outcome'] != 'planned' or module.check_mode:
        finish(module, results, rc, diff)
    done, rc = run(module, program, 'install', options + ['--on-failure', p['on_failure']])
    finish(module, results + [('result.json', done)], rc, diff)


def undo(module, program):
    if module.check_mode:
        module.exit_json(changed=False, skipped=True,
                         msg='check mode: run %s was not undone; an undo cannot be planned' % module.params['run'])
    done, rc = run(module, program, 'undo', ['--undo', module.params['run']])
    finish(module, [('result.json', done)], rc)


def main():
    module = AnsibleModule(
        argument_spec=dict(
            state=dict(type='str', choices=['installed', 'undone'], default='installed'),
            site=dict(type='path'),
            package=dict(type='path'),
            password=dict(type='str', no_log=True),
            answers=dict(type='dict'),
            part=dict(type='str', choices=['web', 'db', 'all'], default='all'),
            on_failure=dict(type='str', choices=['undo', 'keep'], default='undo'),
            lock_wait=dict(type='int'),
            run=dict(type='str'),
            program=dict(type='path', default='qsolutioninstaller'),
            archive_dir=dict(type='path', default='/var/tmp/qsolutioninstaller/results'),
        ),
        required_if=[('state', 'installed', ('package',)), ('state', 'undone', ('run',))],
        supports_check_mode=True,
    )
    password = module.params['password']
    if password is not None:
        # A vault's text may end with a line break; one inside cannot be handed over.
        password = module.params['password'] = password.rstrip('\r\n')
        module.no_log_values.add(password)
        if '\n' in password or '\r' in password:
            module.fail_json(msg='the password holds a line break; the installer reads one line of standard input')
    program = program_path(module)
    if module.params['state'] == 'undone':
        undo(module, program)
    install(module, program)


if __name__ == '__main__':
    main()
