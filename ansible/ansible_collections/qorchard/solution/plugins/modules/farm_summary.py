#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
module: farm_summary
short_description: Write the summary of a roll-out over a farm, as Markdown and HTML
description:
  - Writes C(summary.md) and C(summary.html) into C(dest), one row per host in the order of C(hosts) with its
    outcome, the files installed and failed, the scripts, the duration and the log folder.
  - A host without a report is listed as not run.
  - "Meant for the controller (C(delegate_to: localhost)); the role C(qorchard.solution.rollout) calls it after each host."
author: QSolutionInstaller developers (!UNKNOWN)
options:
  dest:
    description: The folder for the two files; the fetched results lie below it, one folder per host.
    type: path
    required: true
  hosts:
    description: Every host of the roll-out, in the order they are rolled.
    type: list
    elements: str
    required: true
  reports:
    description:
      - One per host that ran, each the C(summary) that M(qorchard.solution.package) returns, with the keys C(host),
        C(msg), and C(undo) (the outcome of the undo that followed a failure, if any).
    type: list
    elements: dict
    default: []
'''

EXAMPLES = r'''
- name: Write the farm summary
  qorchard.solution.farm_summary:
    dest: /srv/rollouts/results
    hosts: "{{ groups['qsi_web'] }}"
    reports: "{{ groups['qsi_web'] | map('extract', hostvars) | selectattr('qsi_report', 'defined')
                 | map(attribute='qsi_report') | list }}"
  delegate_to: localhost
  run_once: true
'''

RETURN = r'''
rows:
  description: The rows written, one per host.
  returned: always
  type: list
  elements: dict
markdown:
  description: The Markdown file.
  returned: always
  type: str
html:
  description: The HTML page.
  returned: always
  type: str
'''

import os
import tempfile
from html import escape

from ansible.module_utils.basic import AnsibleModule

COLUMNS = ('Host', 'Outcome', 'Files installed', 'Files failed', 'Scripts', 'Duration', 'Log folder')


def text(value):
    return '' if value is None else str(value)


def row(host, report):
    if report is None:
        return dict(host=host, outcome='not run', cells=[host, 'not run', '', '', '', '', ''])
    outcome = report.get('outcome') or 'no result: %s' % text(report.get('msg'))
    if report.get('undo'):
        outcome += ', undo: %s' % report['undo']
    duration = report.get('duration_seconds')
    cells = [host, outcome, text(report.get('files_installed')), text(report.get('files_failed')),
             '%s ran, %s failed' % (text(report.get('scripts_ran')), text(report.get('scripts_failed')))
             if report.get('outcome') else '',
             '%.1f s' % duration if isinstance(duration, (int, float)) else '',
             text(report.get('log_folder'))]
    return dict(host=host, outcome=outcome, cells=cells)


def markdown(rows):
    def line(cells):
        return '| ' + ' | '.join(c.replace('\\', '\\\\').replace('|', '\\|').replace('\n', ' ') for c in cells) + ' |'
    lines = ['# Roll-out summary', '', line(COLUMNS), '|' + '---|' * len(COLUMNS)]
    lines += [line(r['cells']) for r in rows]
    return '\n'.join(lines) + '\n'


def html(rows, dest):
    body = []
    for r in rows:
        cells = ['<td>%s</td>' % escape(c) for c in r['cells']]
        archive = os.path.join(r['host'], 'logs.tar.gz')
        if os.path.isfile(os.path.join(dest, archive)):
            cells[-1] = '<td><a href="%s">%s</a></td>' % (escape(archive), escape(r['cells'][-1] or 'logs'))
        failed = r['outcome'] not in ('completed', 'nothing_to_do', 'planned', 'not run')
        body.append('<tr%s>%s</tr>' % (' class="failed"' if failed else '', ''.join(cells)))
    return ('<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>Roll-out summary</title>\n'
            '<style>table{border-collapse:collapse}td,th{border:1px solid #999;padding:2px 6px}'
            '.failed{background:#fdd}</style></head>\n<body><h1>Roll-out summary</h1>\n<table>\n<tr>%s</tr>\n%s\n'
            '</table></body></html>\n' % (''.join('<th>%s</th>' % c for c in COLUMNS), '\n'.join(body)))


def write(module, path, content):
    """Writes `content` to `path` atomically; True when it differs from what was there."""
    try:
        with open(path, encoding='utf-8') as f:
            if f.read() == content:
                return False
    except (IOError, OSError):
        pass
    fd, temporary = tempfile.mkstemp(dir=os.path.dirname(path))
    with os.fdopen(fd, 'w', encoding='utf-8') as f:
        f.write(content)
    module.atomic_move(temporary, path)
    return True


def main():
    module = AnsibleModule(
        argument_spec=dict(
            dest=dict(type='path', required=True),
            hosts=dict(type='list', elements='str', required=True),
            reports=dict(type='list', elements='dict', default=[]),
        ),
        supports_check_mode=True,
    )
    dest = module.params['dest']
    reports = dict((r.get('host'), r) for r in module.params['reports'])
    rows = [row(host, reports.get(host)) for host in module.params['hosts']]
    paths = dict(markdown=os.path.join(dest, 'summary.md'), html=os.path.join(dest, 'summary.html'))
    changed = False
    if not module.check_mode:
        try:
            if not os.path.isdir(dest):
                os.makedirs(dest)
            changed = write(module, paths['markdown'], markdown(rows))
            changed = write(module, paths['html'], html(rows, dest)) or changed
        except (IOError, OSError) as e:
            module.fail_json(msg='could not write the summary into %s: %s' % (dest, e))
    module.exit_json(changed=changed, rows=[dict(host=r['host'], outcome=r['outcome'], cells=r['cells']) for r in rows],
                     **paths)


if __name__ == '__main__':
    main()
