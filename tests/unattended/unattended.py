#!/usr/bin/python3
"""The unattended mode through the built program, on demo sites: each
question answered by the answers file, refusals of the answers, the
password's ways and the password file's checks, --plan-only, --part; every
result is checked against docs/result.schema.json.

  unattended.py PROGRAM
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

import jsonschema

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VALIDATOR = jsonschema.Draft202012Validator(json.load(open(os.path.join(ROOT, 'docs', 'result.schema.json'))))
PROGRAM = os.path.abspath(sys.argv[1])
WORK = tempfile.mkdtemp(prefix='qsi-unattended.')
failed = []


def check(name, ok, detail=''):
    print(('ok - ' if ok else 'FAILED - ') + name + ('' if ok else ': %s' % (detail,))[:1500])
    if not ok:
        failed.append(name)


def make_site(name):
    site = os.path.join(WORK, name)
    subprocess.run([os.path.join(ROOT, 'scripts', 'make-demo-site.sh'), site, PROGRAM], check=True,
                   capture_output=True)
    return site


def run(site, *options, answers=None, stdin='sa-secret\n', killed=False, **kw):
    """Runs the program unattended on `site`; returns (exit status, output, result)."""
    env = dict(os.environ, QSI_REGISTRY=site + '/registry.reg', WINDIR=site + '/windows',
               ODBCSYSINI=site + '/odbc', ODBCINI=site + '/odbc/odbc.ini', PATH=site + '/bin:/usr/bin:/bin')
    if os.environ.get('QSI_CHILD_ASAN_OPTIONS'):  # the ODBC drivers' own leaks are not ours
        env['ASAN_OPTIONS'] = os.environ['QSI_CHILD_ASAN_OPTIONS']
    result = os.path.join(site, 'result.json')
    if os.path.exists(result):
        os.remove(result)
    argv = [site + '/installer/qsolutioninstaller', '--unattended', '--result', result] + list(options)
    argv += ['--password-stdin'] if stdin else []
    if answers is not None:
        open(site + '/answers.json', 'w').write(answers if isinstance(answers, str) else json.dumps(answers))
        argv += ['--answers', site + '/answers.json']
    done = subprocess.run(argv, input=stdin, capture_output=True, text=True, env=env, timeout=120, **kw)
    if killed:
        return done.returncode, '', {}
    document = json.load(open(result)) if os.path.exists(result) else None
    errors = [e.message for e in VALIDATOR.iter_errors(document)] if document else ['no result']
    check('%s %s: the result is valid' % (os.path.basename(site), ' '.join(options)), not errors, errors)
    check('  its mode is 0600 and its exit status the program\'s', document is not None and
          os.stat(result).st_mode & 0o777 == 0o600 and document['exit_status'] == done.returncode,
          (done.returncode, done.stdout[-800:], done.stderr[-800:]))
    return done.returncode, done.stdout + done.stderr, document or {}


def snapshot(site, whole=False):
    """The site's files and folders with their bytes, but the run's logs; unless `whole`, only the
    installation and Windows folders, without the installer's records, and the registry's values."""
    tree, records = {}, () if whole else ('QOJournal', 'QOCustomized')
    for top in [site] if whole else [site + '/inst', site + '/windows']:
        for folder, dirs, files in os.walk(top):
            dirs[:] = [d for d in dirs if d not in ('QOLog',) + records]
            for name in [n for n in files if n not in ('result.json', 'answers.json', 'services.log')]:
                tree[os.path.relpath(os.path.join(folder, name), site)] = open(os.path.join(folder, name), 'rb').read()
            tree.update({os.path.relpath(os.path.join(folder, d), site): None for d in dirs})
    if not whole:
        key = None
        for line in open(site + '/registry.reg', encoding='utf-8-sig').read().splitlines():
            key = line if line.startswith('[') else key
            if '=' in line:
                tree[(key, line)] = True
    return tree


def stand_in(site, script):
    """The service command `net` of the site runs `script` (the installer is its parent)."""
    open(site + '/bin/net', 'w').write('#!/bin/sh\n' + script + '\n')


def outcome(document):
    return document.get('outcome'), document.get('stop_reason')


def main():
    site = make_site('plan')
    before = snapshot(site, whole=True)
    rc, out, doc = run(site, '--plan-only')
    check('--plan-only plans and leaves the site byte for byte as it was, no journal kept',
          rc == 0 and outcome(doc) == ('planned', None) and snapshot(site, whole=True) == before
          and not os.path.exists(site + '/inst/QOJournal') and doc['plan']['summary']['files_new'] > 0, out)
    rc, out, doc = run(site, '--part', 'db')
    check('--part db runs the scripts and no file', rc == 0 and doc['counts']['scripts_ran'] == 2
          and doc['counts']['files_installed'] == 0 and doc['undo']['handle'] == doc['run'], doc.get('counts'))
    rc, out, web = run(site, '--part', 'web')
    check('--part web then installs the files and runs no script', rc == 0 and web['counts']['scripts_ran'] == 0
          and web['counts']['files_installed'] > 0, web.get('counts'))
    rc, out, doc = run(site)
    check('a run after both parts has nothing to do', rc == 0 and outcome(doc) == ('nothing_to_do', None), out)
    # A file changed after the run is a conflict: left, and named in the result; put back, the undo completes.
    page = next(site + '/inst/' + f['path'].replace('\\', '/') for f in web['files']
                if f['outcome'] == 'installed' and not f['path'].lower().endswith('.dll'))
    left = open(page, 'rb').read()
    open(page, 'wb').write(b'edited')
    rc, out, doc = run(site, '--undo', web['run'], stdin='')
    check('--undo --unattended leaves a file changed after the run, naming it', rc == 1
          and outcome(doc) == ('failed', 'failure') and open(page, 'rb').read() == b'edited'
          and [e['cause'] for e in doc['errors']].count('changed after the run, left as it is') == 1, out)
    open(page, 'wb').write(left)
    rc, out, doc = run(site, '--undo', web['run'], stdin='')
    check('  put back as the run left it, a second --undo completes', rc == 0 and outcome(doc) == ('undone', None), out)
    journals = site + '/inst/QOJournal'
    os.rename(journals, site + '/journals')
    os.symlink(site + '/journals', journals)
    rc, out, doc = run(site, '--undo', stdin='')
    check('--undo refuses a journal root that is a link, and its result says so', rc == 2
          and outcome(doc) == ('refused', 'check'), out)
    os.remove(journals)
    os.rename(site + '/journals', journals)

    site = make_site('answers')
    for answers, stop in (({'unknown_key': 1}, 'unknown key "unknown_key"'), ('{"on_failure": "undo",}', 'no JSON'),
                          ({'on_failure': 'maybe'}, '"undo" or "keep"'), ({'login_retries': -1}, 'from 0 to 100')):
        rc, out, doc = run(site, answers=answers)
        check('answers %s are refused, naming why' % answers, rc == 2 and outcome(doc) == ('refused', 'answers')
              and stop in doc['errors'][0]['description'], out)
    rc, out, doc = run(site, answers={'customizations': 'stop'})
    check('customizations "stop" ends the run before anything changes',
          rc == 2 and outcome(doc) == ('refused', 'cancelled') and not doc['changed'], out)
    # Without its Metabase the password cannot be proven: each retry asks again, then the run ends.
    shutil.copy(site + '/odbc/odbc.ini', site + '/odbc.ini.kept')
    open(site + '/odbc/odbc.ini', 'w').write('')
    rc, out, doc = run(site, answers={'login_retries': 2})
    check('login_retries 2 tries the login three times, then refuses', rc == 2 and outcome(doc) == ('refused', 'login')
          and out.count('The entered Password is not valid') == 3, out)
    shutil.copy(site + '/odbc.ini.kept', site + '/odbc/odbc.ini')
    # A run killed while it stops the services leaves an unfinished run.
    stand_in(site, 'kill -KILL $PPID')
    run(site, killed=True)
    stand_in(site, 'exit 0')
    rc, out, doc = run(site)
    check('an unfinished run with no answer ends the run with exit 1, naming the question',
          rc == 1 and outcome(doc) == ('failed', 'unanswered_question') and doc['question']['key'] == 'unfinished_run'
          and 'unfinished_run' in out, out)
    rc, out, doc = run(site, answers={'unfinished_run': 'undo', 'customizations': 'continue'})
    check('unfinished_run "undo" undoes it, then installs', rc == 0 and outcome(doc) == ('completed', None)
          and 'are undone' in out, out)
    # An interruption once the files are in place is a failure; on_failure answers its undo.
    for option, answers, undone in ((['--on-failure', 'keep'], {'on_failure': 'undo'}, False),
                                    ([], {'on_failure': 'undo'}, True), ([], None, True)):
        site = make_site('failure')
        stand_in(site, '[ "$1" = start ] && kill -INT $PPID; exit 0')
        before = snapshot(site)
        rc, out, doc = run(site, *option, answers=answers)
        check('a failure with %s %s: undone %s' % (option, answers, undone), rc == 1
              and outcome(doc) == ('failed', 'interrupted') and doc['undo']['undone'] is undone
              and (snapshot(site) == before) is undone, out)

    site = make_site('password')
    secret = site + '/secret'
    with os.fdopen(os.open(secret, os.O_WRONLY | os.O_CREAT, 0o600), 'w') as f:
        f.write('sa-secret\n')
    read, write = os.pipe()
    os.write(write, b'sa-secret\n')
    os.close(write)
    rc, out, doc = run(site, '--plan-only', '--password-fd', str(read), stdin='', pass_fds=(read,))
    check('--password-fd reads the password', rc == 0 and doc['outcome'] == 'planned', out)
    # A writer that never writes, or never ends the line, holds the run only so long.
    read, write = os.pipe()
    os.environ['QSI_PASSWORD_TIMEOUT'] = '1'
    for stdin, options, why in (('x' * 5000 + '\n', (), 'longer than 4096 bytes'),
                                ('', ('--password-fd', str(read)), 'no password arrived within 1 s')):
        rc, out, doc = run(site, '--plan-only', *options, stdin=stdin, pass_fds=(read,))
        check('a password refused: %s' % why, rc == 2 and outcome(doc) == ('refused', 'password')
              and why in doc['errors'][0]['description'], out)
    del os.environ['QSI_PASSWORD_TIMEOUT']
    os.close(write)
    rc, out, doc = run(site, '--plan-only', '--password-file', secret, stdin='')
    check('--password-file reads a private file', rc == 0 and doc['outcome'] == 'planned', out)
    rc, out, doc = run(site, '--plan-only', stdin='')
    check('no password: the question is named', rc == 1 and doc['question']['key'] == 'password', out)
    os.symlink(secret, site + '/link')
    shared = site + '/shared'
    shutil.copy(secret, shared)
    os.chmod(shared, 0o640)
    foreign = site + '/foreign'
    shutil.copy(secret, foreign)
    os.chown(foreign, 4242, 4242)
    for path, why in ((site + '/link', 'symbolic link'), (shared, 'mode 0640'), (foreign, 'owned by user 4242'),
                      (site + '/inst', 'no regular file')):
        rc, out, doc = run(site, '--plan-only', '--password-file', path, stdin='')
        check('a password file refused: %s' % why, rc == 2 and outcome(doc) == ('refused', 'password')
              and why in doc['errors'][0]['description'], out)
    rc, out, doc = run(site, '--plan-only', '--password=sa-secret', stdin='')
    check('--password=... is refused, saying why', rc == 2 and outcome(doc) == ('refused', 'options')
          and 'command line is visible' in out and 'sa-secret' not in json.dumps(doc), out)
    leaks = [os.path.join(d, n) for d, dummy, files in os.walk(site) for n in files if n not in
             ('secret', 'shared', 'foreign', 'link') and b'sa-secret' in open(os.path.join(d, n), 'rb').read()]
    check('the password is in no result, log or plan', not leaks, leaks)

    print('%d failed' % len(failed))
    shutil.rmtree(WORK, ignore_errors=True)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
