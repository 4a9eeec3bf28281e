# -*- coding: utf-8 -*-
# Reading qsolutioninstaller's result file (docs/result.schema.json), and
# what each outcome means to Ansible. Only the result is read, never the
# program's console text, whose wording may change.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

SCHEMA = 1

EXIT_STATUS = {
    'completed': 0, 'planned': 0, 'nothing_to_do': 0, 'undone': 0,
    'failed': 1, 'refused': 2, 'completed_with_failures': 3,
}

# The outcomes a run of each mode ends with; another is a broken result.
MODE_OUTCOMES = {
    'plan': ('planned', 'nothing_to_do', 'failed', 'refused'),
    'install': ('completed', 'completed_with_failures', 'nothing_to_do', 'failed', 'refused'),
    'undo': ('undone', 'nothing_to_do', 'failed', 'refused'),
}

FAILED_OUTCOMES = ('failed', 'refused', 'completed_with_failures')
CHANGED = {'completed': True, 'completed_with_failures': True, 'planned': True,
           'undone': True, 'nothing_to_do': False, 'refused': False}

STDERR_LINES = 15
ERRORS_SHOWN = 3
LIST_SHOWN = 200


class ResultError(Exception):
    """The program left no result, or one that cannot be trusted."""


def stderr_tail(stderr):
    lines = [line for line in (stderr or '').splitlines() if line.strip()]
    if not lines:
        return ''
    return '; last lines of its error output: ' + ' | '.join(lines[-STDERR_LINES:])


def field(value, *keys):
    """value[keys[0]][keys[1]]..., or None where a level is missing or no object."""
    for key in keys:
        if not isinstance(value, dict):
            return None
        value = value.get(key)
    return value


def objects(value):
    """The objects of a list field; anything else reads as none."""
    return [item for item in value if isinstance(item, dict)] if isinstance(value, list) else []


def count(value):
    return value if isinstance(value, int) and not isinstance(value, bool) else 0


def load(path, mode, rc, stderr):
    """The result a run in `mode` wrote to `path`, ending with exit status `rc`.

    Raises ResultError, with a message for the administrator, when the file
    is missing, is no JSON, or contradicts itself or the exit status."""
    try:
        with open(path, 'rb') as f:
            data = f.read()
    except (IOError, OSError) as e:
        raise ResultError('qsolutioninstaller ended with exit status %d and wrote no result (%s: %s)%s'
                          % (rc, path, e.strerror or e, stderr_tail(stderr)))
    try:
        result = json.loads(data.decode('utf-8'))
    except ValueError as e:
        raise ResultError('the result of qsolutioninstaller (exit status %d) is no JSON document: %s%s'
                          % (rc, e, stderr_tail(stderr)))
    check(result, mode, rc)
    return result


def check(result, mode, rc):
    """Raises ResultError when `result` is not one a run in `mode` with exit status `rc` writes."""
    def broken(why):
        return ResultError('the result of qsolutioninstaller (exit status %d) cannot be trusted: %s' % (rc, why))

    if not isinstance(result, dict):
        raise broken('it is no JSON object')
    if result.get('schema') != SCHEMA or isinstance(result.get('schema'), bool):
        raise broken('its schema is %r; this collection reads schema %d' % (result.get('schema'), SCHEMA))
    outcome = result.get('outcome')
    if not isinstance(outcome, str) or outcome not in MODE_OUTCOMES[mode]:
        raise broken('outcome %r is none that a run of mode %s ends with' % (outcome, mode))
    if result.get('mode') != mode:
        raise broken('it is the result of mode %r, not %s' % (result.get('mode'), mode))
    status = result.get('exit_status')
    if status != rc or isinstance(status, bool) or EXIT_STATUS[outcome] != rc:
        raise broken('it says outcome %s with exit status %r' % (outcome, status))
    changed = result.get('changed')
    if not isinstance(changed, bool) or CHANGED.get(outcome, changed) != changed:
        raise broken('it says outcome %s with changed %r' % (outcome, changed))


def message(result):
    """What happened, for the administrator, from the result's fields alone."""
    outcome = result['outcome']
    counts = result.get('counts')
    parts = [outcome.replace('_', ' ')]
    if outcome == 'completed_with_failures':
        parts.append('%d files and %d component registrations failed'
                     % (count(field(counts, 'files_failed')), count(field(counts, 'components_failed'))))
    elif outcome in ('completed', 'undone'):
        parts.append('%d files installed, %d scripts ran'
                     % (count(field(counts, 'files_installed')), count(field(counts, 'scripts_ran'))))
    reason = result.get('stop_reason')
    holder = result.get('lock_holder')
    if reason == 'lock_held' and isinstance(holder, dict):
        parts.append('another installer holds the site: %s (pid %s)'
                     % (holder.get('description'), holder.get('pid')))
    elif reason == 'unanswered_question':
        parts.append('no answer for the question %r (answers key %s)'
                     % (field(result, 'question', 'text'), field(result, 'question', 'key')))
    elif isinstance(reason, str):
        parts.append('stopped: %s' % reason.replace('_', ' '))
    errors = objects(result.get('errors'))
    for error in errors[:ERRORS_SHOWN]:
        where = ', '.join(str(v) for v in (error.get('number'), error.get('step')) if v is not None)
        parts.append('%s (%s)' % (error.get('description'), where) if where else str(error.get('description')))
    if len(errors) > ERRORS_SHOWN:
        parts.append('%d more errors' % (len(errors) - ERRORS_SHOWN))
    if field(result, 'undo', 'undone') is True:
        parts.append('the run was undone')
    folder = field(result, 'logs', 'folder')
    if folder:
        parts.append('logs: %s' % folder)
    return '; '.join(parts)


def status(result):
    """changed, failed and msg for a result that check() accepted."""
    return dict(changed=result['changed'], failed=result['outcome'] in FAILED_OUTCOMES, msg=message(result))


def summary(result):
    """The farm summary's row of a host, from its last result."""
    counts = result.get('counts')
    return dict(
        run=result.get('run'),
        outcome=result.get('outcome'),
        machine=field(result, 'site', 'machine'),
        files_installed=count(field(counts, 'files_installed')),
        files_failed=count(field(counts, 'files_failed')),
        scripts_ran=count(field(counts, 'scripts_ran')),
        scripts_failed=count(field(counts, 'scripts_failed')),
        duration_seconds=field(result, 'times', 'duration_seconds'),
        log_folder=field(result, 'logs', 'folder'),
        undo_handle=field(result, 'undo', 'handle'),
    )


def plan_text(result):
    """The plan of a result as lines for Ansible's diff: what would change, item by item."""
    plan = result.get('plan')
    if not isinstance(plan, dict):
        return ''
    lines = ['%s on %s (%s), part %s' % (plan.get('product'), field(result, 'site', 'machine'),
                                         field(result, 'site', 'inst_main_dir'), result.get('part'))]
    summary_counts = plan.get('summary')
    if isinstance(summary_counts, dict):
        lines.append(', '.join('%s %s' % (key.replace('_', ' '), value)
                               for key, value in sorted(summary_counts.items())))
    for module in objects(plan.get('modules')):
        lines.append('module %s %s: %s -> %s' % (module.get('action'), module.get('name'),
                                                 module.get('installed_version') or 'not installed',
                                                 module.get('package_version')))
    items = []
    for item in objects(plan.get('files')):
        if item.get('action') != 'not_installed':
            items.append('file %s %s' % (item.get('action'), item.get('path')))
    for item in objects(plan.get('components')):
        items.append('component register %s %s' % (item.get('kind'), item.get('path')))
    for item in objects(plan.get('scripts')):
        if item.get('action') == 'run':
            items.append('script run %s on %s' % (item.get('name'), item.get('database')))
    for kind in ('registry_values', 'metabase_rows'):
        for item in objects(plan.get(kind)):
            items.append('%s %s: %s -> %s' % (kind.replace('_', ' ')[:-1], item.get('where'),
                                              item.get('before'), item.get('after')))
    lines.extend(items[:LIST_SHOWN])
    if len(items) > LIST_SHOWN:
        lines.append('... %d more; the whole plan: %s' % (len(items) - LIST_SHOWN, plan.get('text_file')))
    return '\n'.join(lines) + '\n'
