#!/usr/bin/python3
"""The farm test: real ansible-playbook rolls the sample package over a farm
on this machine with the real built installer, and each claim of the roll-out
is checked.

  test-farm.py FARM_DIR [--setup-only]

The farm: a database host and four web hosts, each its own site (registry
file, installation folder, Windows folder, data sources); one web host is
reached over SSH (scripts/test-sshd.sh, through QSI_SSH_*), the others with
the local connection. They share one Metabase and one suite database: SQLite
files, or databases on the test PostgreSQL server when QSI_PG_* name it
(scripts/test-services.sh). --setup-only makes the farm and checks it
(inventory, connections, playbook syntax) without rolling anything.
"""
import json
import os
import re
import secrets
import shutil
import sqlite3
import subprocess
import sys
import tarfile
import threading
import time

HERE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get('QSI_BUILD_DIR', os.path.join(HERE, 'build'))
PROGRAM = os.path.join(BUILD, 'src', 'qsolutioninstaller')
PACKAGE = os.path.join(HERE, 'share', 'sample-package', 'Solution')
SCHEMA = os.path.join(HERE, 'docs', 'result.schema.json')
PLAYBOOK = 'qorchard.solution.rollout'
WEB = ['farm-web1', 'farm-web2', 'farm-web3', 'farm-web4']
SSH_HOST = 'farm-web2'
FAULTY = 'farm-web3'  # its default.asp cannot be replaced in the second roll-out
HOSTS = ['farm-db'] + WEB
MACHINES = dict([('farm-db', 'FARMSQL01')] + [(h, 'FARMWEB0%d' % (i + 1)) for i, h in enumerate(WEB)])
INSTALLED_PAGE = b'<%@ Language=VBScript %>\r\n<html><body><h1>Q-Alder 2.1.0.0</h1></body></html>\r\n'
RECORDS = ('QOLog', 'QOCustomized', 'QOJournal')  # the installer's own, left out of a site's snapshot
PG = {k: os.environ.get('QSI_PG_' + k) for k in ('SOCKET_DIR', 'PORT', 'SA_PASSWORD', 'TEMPLATE')}
USE_PG = bool(PG['SOCKET_DIR'] and PG['PORT'] and PG['SA_PASSWORD'])


class Checks:
    def __init__(self):
        self.passed, self.failed = 0, []

    def __call__(self, name, ok, detail=''):
        if ok:
            self.passed += 1
            print('ok - %s' % name)
        else:
            self.failed.append(name)
            print('FAILED - %s%s' % (name, (': ' + str(detail)[:2000]) if detail else ''))
        sys.stdout.flush()
        return ok


def sh(argv, **kw):
    return subprocess.run(argv, check=True, capture_output=True, text=True, **kw).stdout


class Farm:
    def __init__(self, root):
        self.root = root
        self.password = PG['SA_PASSWORD'] if USE_PG else 'qsi-farm-' + secrets.token_hex(12)
        self.databases, self.runs = [], 0
        # The children never get the test server's password from this environment.
        self.env = {k: v for k, v in os.environ.items() if not k.startswith('QSI_PG_')}
        self.env.update(ANSIBLE_CONFIG=os.path.join(root, 'ansible.cfg'), ANSIBLE_NOCOLOR='1',
                        ANSIBLE_COLLECTIONS_PATH=os.path.join(HERE, 'ansible'), ANSIBLE_FORCE_COLOR='0')

    def site(self, host, *parts):
        return os.path.join(self.root, 'sites', host, *parts)

    # The shared databases.
    def sql(self, database, statements):
        if not USE_PG:
            with sqlite3.connect(os.path.join(self.root, 'db', database + '.sqlite')) as db:
                db.executescript(statements)
            return
        self.psql(self.databases_by_name[database], statements)

    def psql(self, database, statements, query=False):
        owner = ['runuser', '-u', 'postgres', '--'] if os.getuid() == 0 else []
        argv = owner + ['/usr/lib/postgresql/15/bin/psql', '-X', '-q', '-v', 'ON_ERROR_STOP=1', '-h', PG['SOCKET_DIR'],
                        '-p', PG['PORT'], '-d', database] + (['-At', '-F', '|', '-c', statements] if query else [])
        return sh(argv, input=None if query else statements, cwd='/')

    def rows(self, database, query):
        if not USE_PG:
            with sqlite3.connect(os.path.join(self.root, 'db', database + '.sqlite')) as db:
                return sorted('|'.join('' if v is None else str(v) for v in row) for row in db.execute(query))
        return sorted(self.psql(self.databases_by_name[database], query, query=True).splitlines())

    def make_databases(self):
        os.makedirs(os.path.join(self.root, 'db'))
        schema = open(os.path.join(HERE, 'share', 'metabase-schema.sql')).read()
        if USE_PG:
            tag = 'qsi_farm_' + secrets.token_hex(4)
            self.databases_by_name = {'QOMetabase': tag + '_metabase', 'QAlder': tag + '_qalder'}
            self.psql('postgres', 'CREATE DATABASE "%s" TEMPLATE "%s";\nCREATE DATABASE "%s";\n'
                      % (tag + '_metabase', PG['TEMPLATE'] or 'QOMetabase', tag + '_qalder'))
            self.databases = list(self.databases_by_name.values())
        else:
            self.sql('QOMetabase', schema)
        page = os.path.join(self.root, 'page.asp')
        open(page, 'wb').write(INSTALLED_PAGE)
        checksum = sh([os.path.join(BUILD, 'tools', 'qsolution'), 'checksum', page]).split()[0]
        when = '2026-01-15 09:00:00'
        rows = ["INSERT INTO SERVER VALUES ('FARMSQL01','DbServer','%s','2.1.0.0 ');" % when,
                "INSERT INTO INSTALLATIONHISTORY VALUES ('FARMSQL01','DbServer','Q-Alder - ServicePack 0','%s','0');" % when]
        rows += ["INSERT INTO MODULE VALUES ('FARMSQL01','DbServer','%s','%s','2.1.0');" % (m, when) for m in ('Q-Alder', 'Q-Common')]
        for host in WEB:
            m = MACHINES[host]
            rows.append("INSERT INTO SERVER VALUES ('%s','WebServer','%s','2.1.0.0 ');" % (m, when))
            rows += ["INSERT INTO MODULE VALUES ('%s','WebServer','%s','%s','2.1.0');" % (m, mod, when) for mod in ('Q-Alder', 'Q-Common')]
            rows.append("INSERT INTO OBJECT VALUES ('%s','WebServer','Q-Alder','QO11\\Q-Alder\\default.asp','2.1.0.0','%s','%s','0','0','0');" % (m, checksum, when))
            rows.append("INSERT INTO OBJECT VALUES ('%s','WebServer','Q-Alder','Components\\QAlder\\Bramble.dll','2.1.0.0','0','%s','0','0','0');" % (m, when))
            rows.append("INSERT INTO INSTALLATIONHISTORY VALUES ('%s','WebServer','Q-Alder - ServicePack 0','%s','0');" % (m, when))
        self.sql('QOMetabase', '\n'.join(rows))
        self.sql('QAlder', "CREATE TABLE SETTINGS (NAME VARCHAR(64) PRIMARY KEY, VALUE VARCHAR(255));\n"
                           "INSERT INTO SETTINGS VALUES ('SchemaVersion', '2.1.0.0');")

    def data_sources(self, host):
        folder = self.site(host, 'odbc')
        os.makedirs(folder)
        open(os.path.join(folder, 'odbcinst.ini'), 'w').write(
            '[SQLite3]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n\n'
            '[PostgreSQL]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so\n')
        with open(os.path.join(folder, 'odbc.ini'), 'w') as f:
            for name in ('QOMetabase', 'QAlder'):
                if USE_PG:
                    f.write('[%s]\nDriver=PostgreSQL\nServername=%s\nPort=%s\nDatabase=%s\n\n'
                            % (name, PG['SOCKET_DIR'], PG['PORT'], self.databases_by_name[name]))
                else:
                    f.write('[%s]\nDriver=SQLite3\nDatabase=%s\nTimeout=5000\n\n'
                            % (name, os.path.join(self.root, 'db', name + '.sqlite')))
        return folder

    def make_site(self, host):
        inst = self.site(host, 'inst')
        for folder in ('QO11/Q-Alder', 'Components/QAlder'):
            os.makedirs(os.path.join(inst, folder))
        os.makedirs(self.site(host, 'windows', 'java'))
        open(os.path.join(inst, 'QO11', 'Q-Alder', 'default.asp'), 'wb').write(INSTALLED_PAGE)
        open(os.path.join(inst, 'Components', 'QAlder', 'Bramble.dll'), 'wb').write(b'MZ sample Bramble component 2.1.0.0')
        os.makedirs(self.site(host, 'bin'))
        for command in ('net', 'mtxstop'):  # stand-ins that only say what they were asked
            path = self.site(host, 'bin', command)
            open(path, 'w').write('#!/bin/sh\necho "%s $*" >> "%s"\n' % (command, self.site(host, 'services.log')))
            os.chmod(path, 0o755)
        registry = ['Windows Registry Editor Version 5.00', '',
                    '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard]',
                    '"InstallDir"="%s/bin"' % inst, '"InstMainDir"="%s"' % inst, '"IISVirtId"="1"', '"MemScriptCode"="QOFARM"', '',
                    '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig]',
                    '"Hostname"="%s"' % MACHINES[host], '',
                    '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\WebServerConfig\\SQL Server]',
                    '"Server"="FARMSQL01"', '']
        for config, version in (('WebServerConfig', '2.1.0.0'), ('DbServerConfig', '2.1.0')):
            for module in ('Q-Alder', 'Q-Common'):
                registry += ['[HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvane\\Corvane Q-Orchard\\ConfigTypes\\%s\\Modules\\%s]'
                             % (config, module)] + (['"Installed"="1"'] if config == 'WebServerConfig' else []) + \
                            ['"AppVersion"="%s"' % version, '']
        open(self.site(host, 'registry.reg'), 'w', newline='\r\n').write('\n'.join(registry))
        odbc = self.data_sources(host)
        variables = dict(
            qsi_site=self.site(host, 'registry.reg'), qsi_stage_dir=self.site(host, 'stage'),
            qsi_environment=dict(ODBCSYSINI=odbc, ODBCINI=os.path.join(odbc, 'odbc.ini'),
                                 WINDIR=self.site(host, 'windows'), PATH=self.site(host, 'bin') + ':/usr/bin:/bin'))
        if host == SSH_HOST:
            variables.update(
                ansible_connection='ssh', ansible_host=os.environ['QSI_SSH_HOST'], ansible_port=int(os.environ['QSI_SSH_PORT']),
                ansible_user=os.environ['QSI_SSH_USER'], ansible_ssh_private_key_file=os.environ['QSI_SSH_KEY'],
                ansible_ssh_common_args='-o UserKnownHostsFile=%s -o StrictHostKeyChecking=yes -o IdentitiesOnly=yes'
                                        % os.environ['QSI_SSH_KNOWN_HOSTS'])
        else:
            variables['ansible_connection'] = 'local'
        return variables

    def make(self):
        os.makedirs(self.root, exist_ok=True)
        shutil.copytree(PACKAGE, os.path.join(self.root, 'package', 'Solution'))
        self.make_databases()
        hosts = {h: self.make_site(h) for h in HOSTS}
        inventory = {'all': {
            'vars': dict(ansible_python_interpreter='/usr/bin/python3', qsi_program=PROGRAM,
                         qsi_package=os.path.join(self.root, 'package', 'Solution'),
                         qsi_results_dir=os.path.join(self.root, 'results')),
            'children': {'qsi_database': {'hosts': {'farm-db': hosts['farm-db']}},
                         'qsi_web': {'hosts': {h: hosts[h] for h in WEB}}}}}
        json.dump(inventory, open(os.path.join(self.root, 'inventory.yml'), 'w'), indent=1)
        vault_key = os.path.join(self.root, 'vault-key')
        with os.fdopen(os.open(vault_key, os.O_WRONLY | os.O_CREAT, 0o600), 'w') as f:
            f.write(secrets.token_hex(16) + '\n')
        open(os.path.join(self.root, 'ansible.cfg'), 'w').write(
            '[defaults]\ninventory = %s\nvault_password_file = %s\nhost_key_checking = True\n'
            'retry_files_enabled = False\ninterpreter_python = /usr/bin/python3\n'
            # No shared SSH connection: it would outlive the test's server.
            '[ssh_connection]\npipelining = True\nssh_args = -o ControlMaster=no\n'
            % (os.path.join(self.root, 'inventory.yml'), vault_key))
        os.makedirs(os.path.join(self.root, 'group_vars', 'all'))
        vault = subprocess.run(['ansible-vault', 'encrypt_string', '--stdin-name', 'qsi_sa_password'],
                               input=self.password, capture_output=True, text=True, env=self.env, check=True).stdout
        open(os.path.join(self.root, 'group_vars', 'all', 'vault.yml'), 'w').write(vault)

    def drop(self):
        for database in self.databases:
            self.psql('postgres', 'DROP DATABASE IF EXISTS "%s" WITH (FORCE);' % database)

    # What the checks compare.
    def snapshot(self, host):
        """The site but the installer's records: files and folders with their bytes, and the registry's values."""
        tree = {}
        for base in ('inst', 'windows'):
            top = self.site(host, base)
            for folder, dirs, files in os.walk(top):
                if folder == top:
                    dirs[:] = [d for d in dirs if d not in RECORDS]
                for name in dirs + files:
                    path = os.path.join(folder, name)
                    tree[os.path.relpath(path, self.site(host))] = None if name in dirs else open(path, 'rb').read()
        key, values = None, set()
        for line in open(self.site(host, 'registry.reg'), encoding='utf-8-sig').read().splitlines():
            if line.startswith('['):
                key = line.lower()
            elif '=' in line:
                name, value = line.split('=', 1)
                values.add((key, name.lower(), value))
        return tree, values

    def databases_state(self):
        state = {t: self.rows('QOMetabase', 'SELECT * FROM %s' % t)
                 for t in ('SERVER', 'MODULE', 'OBJECT', 'PATCH', 'INSTALLATIONHISTORY')}
        state['SETTINGS'] = self.rows('QAlder', 'SELECT NAME, VALUE FROM SETTINGS')
        return state

    def playbook(self, *options, watch=None):
        argv = ['ansible-playbook', PLAYBOOK] + list(options)
        seen = []
        shutil.rmtree(os.path.join(self.root, 'results'), ignore_errors=True)  # each roll-out's own
        if watch:
            done = threading.Event()
            sampler = threading.Thread(target=watch_processes, args=(self.password.encode(), done, seen))
            sampler.start()
        try:
            run = subprocess.run(argv, capture_output=True, text=True, env=self.env, cwd=self.root, check=False)
        finally:
            if watch:
                done.set()
                sampler.join()
        self.runs += 1
        log = os.path.join(self.root, 'playbook-%d.log' % self.runs)
        open(log, 'w').write(run.stdout + run.stderr)
        print('  ansible-playbook %s: exit %d (output in %s)' % (' '.join(options), run.returncode, log))
        return run.returncode, run.stdout + run.stderr, seen

    def results(self):
        """The results fetched to the controller: host -> {file name: document}."""
        found = {}
        for host in HOSTS:
            folder = os.path.join(self.root, 'results', host)
            if os.path.isdir(folder):
                found[host] = {n: json.load(open(os.path.join(folder, n))) for n in os.listdir(folder) if n.endswith('.json')}
        return found


def ancestors():
    pids, pid = {os.getpid()}, os.getpid()
    while pid > 1:
        pid = int(open('/proc/%d/stat' % pid).read().rsplit(')', 1)[1].split()[1])
        pids.add(pid)
    return pids


def watch_processes(secret, done, seen):
    """Reads every process's command line and environment while the roll-out runs."""
    mine = ancestors()
    while not done.is_set():
        for pid in os.listdir('/proc'):
            if not pid.isdigit() or int(pid) in mine:
                continue
            for part in ('cmdline', 'environ'):
                try:
                    if secret in open('/proc/%s/%s' % (pid, part), 'rb').read():
                        seen.append('%s of process %s' % (part, pid))
                except OSError:
                    pass  # gone meanwhile
        time.sleep(0.02)


def outcome(results, host, name='result.json'):
    return results.get(host, {}).get(name, {}).get('outcome')


def recap(output):
    return {m.group(1): dict((k, int(v)) for k, v in re.findall(r'(\w+)=(\d+)', m.group(2)))
            for m in re.finditer(r'^(\S+)\s+:\s+(ok=.*)$', output, re.M)}


def leaks(farm, secret, output):
    """Where the password shows: the playbook's output, the controller's results and logs, the sites."""
    found = ['playbook output'] if secret in output else []
    for folder, dummy, files in os.walk(farm.root):
        for name in files:
            path = os.path.join(folder, name)
            if os.path.islink(path) or name == 'vault-key':
                continue
            data = open(path, 'rb').read()
            if secret.encode() in data:
                found.append(path)
            if name.endswith('.tar.gz'):
                with tarfile.open(path) as tar:
                    found += ['%s:%s' % (path, m.name) for m in tar.getmembers()
                              if m.isfile() and secret.encode() in tar.extractfile(m).read()]
    return found


def hold_site(farm, host):
    """An interactive installer that holds the site's lock, waiting at its first menu."""
    env = dict(farm.env, QSI_FRONTEND='console', QSI_REGISTRY=farm.site(host, 'registry.reg'),
               WINDIR=farm.site(host, 'windows'), ODBCSYSINI=farm.site(host, 'odbc'),
               ODBCINI=farm.site(host, 'odbc', 'odbc.ini'))
    out = open(os.path.join(farm.root, 'holder.log'), 'w+')
    holder = subprocess.Popen([PROGRAM], stdin=subprocess.PIPE, stdout=out, stderr=subprocess.STDOUT, env=env)
    for dummy in range(200):
        out.seek(0)
        if 'Retrieve information' in out.read() or holder.poll() is not None:
            break
        time.sleep(0.05)
    return holder


def installed(farm, host):
    """Whether the site holds the package's pages."""
    page = os.path.join('QO11', 'Q-Alder', 'orderstatus.asp')
    path = farm.site(host, 'inst', page)
    return os.path.isfile(path) and open(path, 'rb').read() == open(
        os.path.join(PACKAGE, 'Web', 'Q-Alder', 'orderstatus.asp'), 'rb').read()


def validate(results):
    import jsonschema
    validator = jsonschema.Draft202012Validator(json.load(open(SCHEMA)))
    return ['%s/%s: %s' % (h, n, e.message) for h, docs in results.items() for n, d in docs.items()
            for e in validator.iter_errors(d)]


def setup_checks(farm, check):
    rc, output, dummy = farm.playbook('--syntax-check')
    check('the playbook passes ansible-playbook --syntax-check', rc == 0, output)
    run = subprocess.run(['ansible', 'all', '-m', 'ansible.builtin.ping', '-o'], capture_output=True, text=True,
                         env=farm.env, cwd=farm.root, check=False)
    check('every host answers, %s over SSH' % SSH_HOST,
          run.returncode == 0 and all('%s | SUCCESS' % h in run.stdout for h in HOSTS), run.stdout + run.stderr)
    graph = subprocess.run(['ansible-inventory', '--graph'], capture_output=True, text=True, env=farm.env,
                           cwd=farm.root, check=False).stdout
    check('the inventory has one database host and the web hosts', '@qsi_database:' in graph and '@qsi_web:' in graph
          and all(h in graph for h in HOSTS), graph)


def roll_out(farm, check):
    sites = {h: farm.snapshot(h) for h in HOSTS}
    databases = farm.databases_state()

    rc, output, dummy = farm.playbook('--check', '--diff')
    results = farm.results()
    planned = rc == 0 and all(outcome(results, h) == 'planned' for h in HOSTS)
    check('--check --diff plans every host and ends with exit 0', planned, output[-3000:])
    check('--check --diff changes no site and no database', planned and farm.databases_state() == databases
          and all(farm.snapshot(h) == sites[h] for h in HOSTS))
    check('--check --diff shows each host\'s plan', all(' on %s (' % MACHINES[h] in output for h in HOSTS)
          and 'file replace QO11\\Q-Alder\\default.asp' in output and 'script run Q-Alder_update.sql' in output, output[-3000:])
    check('--check: every result valid', results and not validate(results), validate(results))

    # A file that cannot be replaced on the third web host.
    page = farm.site(FAULTY, 'inst', 'QO11', 'Q-Alder', 'default.asp')
    lock = ['chattr', '+i', page] if os.getuid() == 0 else ['chmod', '0555', os.path.dirname(page)]
    sh(lock)
    try:
        rc, output, seen = farm.playbook('-vvvv', watch=True)
    finally:
        sh(['chattr', '-i', page] if os.getuid() == 0 else ['chmod', '0755', os.path.dirname(page)])
    results = farm.results()
    faulty = results.get(FAULTY, {})
    check('a failure on %s ends ansible-playbook non-zero' % FAULTY, rc != 0 and outcome(results, FAULTY) in (
        'failed', 'completed_with_failures'), output[-3000:])
    check('every result on the controller is valid', results and not validate(results), validate(results))
    before = HOSTS[:HOSTS.index(FAULTY)]
    check('the hosts before %s are installed' % FAULTY,
          all(outcome(results, h) == 'completed' for h in before)
          and all(installed(farm, h) for h in before if h in WEB), {h: results.get(h, {}).keys() for h in before})
    # A run that failed before it changed anything has nothing to undo.
    undone = outcome(results, FAULTY, 'undo.json') == 'undone' or (
        'undo.json' not in faulty and faulty.get('result.json', {}).get('changed') is False)
    check('%s was undone, and is byte for byte as before' % FAULTY, undone and farm.snapshot(FAULTY) == sites[FAULTY],
          faulty.keys())
    after = HOSTS[HOSTS.index(FAULTY) + 1:]
    check('the hosts after %s are untouched' % FAULTY, FAULTY in results
          and all(h not in results and farm.snapshot(h) == sites[h] for h in after))
    ran = {h: d['result.json']['counts']['scripts_ran'] for h, d in results.items() if 'result.json' in d}
    check('the database part ran once, on the database host', ran.get('farm-db') == 2
          and not any(ran[h] for h in ran if h != 'farm-db')
          and farm.rows('QAlder', "SELECT VALUE FROM SETTINGS WHERE NAME = 'ServicePack'") == ['2.1.1.0'], ran)
    summary = open(os.path.join(farm.root, 'results', 'summary.md')).read() if os.path.exists(
        os.path.join(farm.root, 'results', 'summary.md')) else ''
    check('the summary has a row per host, the untouched ones not run',
          all(re.search(r'^\| %s \| completed \|' % h, summary, re.M) for h in before)
          and re.search(r'^\| %s \| (failed|completed_with_failures)[ ,]' % FAULTY, summary, re.M)
          and all(re.search(r'^\| %s \| not run \|' % h, summary, re.M) for h in after)
          and os.path.exists(os.path.join(farm.root, 'results', 'summary.html')), summary)
    check('the password is in no output, result, log or plan', FAULTY in results
          and not leaks(farm, farm.password, output), leaks(farm, farm.password, output))
    check('the password is in no process\'s command line or environment during the run', FAULTY in results
          and not seen, seen)

    rc, output, dummy = farm.playbook()
    results = farm.results()
    check('the roll-out completes once the file can be replaced', rc == 0, output[-3000:])
    check('it installs the rest and runs no script again',
          all(results[h]['result.json']['outcome'] == ('completed' if h in [FAULTY] + after else 'nothing_to_do')
              for h in HOSTS if h in results) and len(results) == len(HOSTS) and all(installed(farm, h) for h in WEB)
          and not any(d['result.json']['counts']['scripts_ran'] for d in results.values()), results.keys())

    state = farm.databases_state()
    rc, output, dummy = farm.playbook()
    results = farm.results()
    check('a second run reports changed=0 everywhere', rc == 0 and set(recap(output)) >= set(HOSTS)
          and all(r['changed'] == 0 for r in recap(output).values()), recap(output))
    check('a second run runs no script and changes no database', rc == 0 and farm.databases_state() == state and all(
        d['result.json']['outcome'] == 'nothing_to_do' and d['result.json']['counts']['scripts_ran'] == 0
        for d in results.values()))
    check('every result valid', results and not validate(results), validate(results))

    holder = hold_site(farm, 'farm-web1')
    try:
        rc, output, dummy = farm.playbook('--limit', 'farm-web1')
    finally:
        holder.stdin.close()
        holder.wait(timeout=60)
    result = farm.results().get('farm-web1', {}).get('result.json', {})
    check('a site that another installer holds fails the play, the holder named', rc != 0
          and result.get('stop_reason') == 'lock_held' and (result.get('lock_holder') or {}).get('pid') == holder.pid
          and 'pid %d' % holder.pid in output, output[-3000:])


def main():
    root = os.path.abspath(sys.argv[1])
    farm = Farm(root)
    check = Checks()
    try:
        farm.make()
        print('Farm made in %s (%s databases)' % (root, 'PostgreSQL' if USE_PG else 'SQLite'))
        setup_checks(farm, check)
        if '--setup-only' not in sys.argv:
            roll_out(farm, check)
    finally:
        farm.drop()
    print('%d passed, %d failed' % (check.passed, len(check.failed)))
    return 1 if check.failed else 0


if __name__ == '__main__':
    sys.exit(main())
