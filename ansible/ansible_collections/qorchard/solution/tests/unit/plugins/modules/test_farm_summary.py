# -*- coding: utf-8 -*-
from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json
import os
import subprocess
import sys

MODULE = os.path.join(os.path.dirname(__file__), *(['..'] * 4), 'plugins', 'modules', 'farm_summary.py')


def test_rows_in_roll_out_order_with_hostile_names_escaped(tmp_path):
    (tmp_path / 'web2').mkdir()
    (tmp_path / 'web2' / 'logs.tar.gz').write_bytes(b'')
    reports = [dict(host='web2', outcome='completed_with_failures', files_installed=3, files_failed=1, scripts_ran=0,
                    scripts_failed=0, duration_seconds=2.25, log_folder='/qo/QOLog/a|b <i>', undo='undone'),
               dict(host='web1', outcome='completed', files_installed=4, files_failed=0, scripts_ran=2,
                    scripts_failed=0, duration_seconds=1, log_folder='/qo/QOLog/r1')]
    (tmp_path / 'args.json').write_text(json.dumps({'ANSIBLE_MODULE_ARGS': dict(
        dest=str(tmp_path), hosts=['web1', 'web2', 'web3'], reports=reports)}))
    out = json.loads(subprocess.run([sys.executable, MODULE, str(tmp_path / 'args.json')], capture_output=True,
                                    text=True, check=True).stdout)
    assert out['changed'] is True
    lines = (tmp_path / 'summary.md').read_text().splitlines()[4:]
    assert lines == ['| web1 | completed | 4 | 0 | 2 ran, 0 failed | 1.0 s | /qo/QOLog/r1 |',
                     '| web2 | completed_with_failures, undo: undone | 3 | 1 | 0 ran, 0 failed | 2.2 s | /qo/QOLog/a\\|b <i> |',
                     '| web3 | not run |  |  |  |  |  |']
    page = (tmp_path / 'summary.html').read_text()
    assert '<tr class="failed"><td>web2</td>' in page and '<a href="web2/logs.tar.gz">/qo/QOLog/a|b &lt;i&gt;</a>' in page
    assert '<i>' not in page
